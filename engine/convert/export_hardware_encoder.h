// Encoders that run on a graphics device. VAAPI encoders take pictures only from a frame pool
// on the device, which the exporter fills from the image converter's pictures; NVENC and QSV
// encoders take pictures from memory and find their device themselves.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace MediaBased {

bool IsHardwareEncoder(const AVCodec& encoder);

// True for an encoder whose pictures must already be on the device (every format it lists is
// a hardware one).
bool TakesDeviceFramesOnly(const AVCodec& encoder);

// Gives context, sized and configured for its encoder, a VAAPI device on the first render node
// and a pool of device pictures holding softwareFormat at its size, and makes its pixel format
// the device's. 0 or a negative AVERROR, with *reason saying which step failed.
int AttachDeviceFrames(AVCodecContext& context, AVPixelFormat softwareFormat, std::string* reason);

// The format the encoder's pictures are made in: its own, or the software format of its pool.
AVPixelFormat EncoderPictureFormat(const AVCodecContext& context);

// For an encoder with a device pool: replaces picture, in memory, by a copy in the pool with
// the same times and properties. Changes nothing for other encoders. False when the copy fails.
bool MoveToEncoderDevice(const AVCodecContext& context, AVFrame& picture);

}  // namespace MediaBased
