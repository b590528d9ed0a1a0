// How a video codec code is encoded on this machine and with which options: the hardware
// encoder the probe found or its software stand-in, constant quality or bit rate, the speed,
// ten bits and HDR. Both the engine's task description and the plan read them here.
#pragma once

#include <QString>

struct HardwareProbe;
struct ProfileFormat;

struct VideoEncoderChoice {
    QString encoder;   // handed to the engine
    QString fallback;  // software encoder the engine turns to when encoder fails; empty: none
    QString warning;   // why a hardware code is encoded in software; empty otherwise
};

// The table's encoder for every code; for a hardware code, the encoder the probe opened with
// its software fallback, or the software encoder and the reason.
VideoEncoderChoice videoEncoderFor(const QString& code, const HardwareProbe& probe);
// The same with this machine's probe, which only a hardware code waits for.
VideoEncoderChoice videoEncoderFor(const QString& code);

// Encoders that take a constant quality; quality mode falls back to the bit rate elsewhere.
bool takesQuality(const QString& encoder);
// quality moved into the encoder's own scale (x264: 0..51, VP9 and AV1: up to 63).
int clampedQuality(const QString& encoder, int quality);

// The "encoder_options" text: the constant quality when rateControl is "quality" and the
// encoder takes one, then the speed ("fastest" … "slowest") as the encoder's own preset. Empty
// for bit-rate mode without a speed.
QString videoEncoderOptions(const QString& encoder, const QString& rateControl, int quality, const QString& speed);

// Formats that allow a few sizes and rates only: MPEG-2 for DVD (.vob) and H.263 take the
// profile's exactly, never the source's within them.
bool keepsExactPicture(const QString& extension, const QString& encoder);

// A profile made for a device: its catalogue item states limits.
bool isDeviceProfile(const ProfileFormat& format);
// The codec keeps ten bits (HEVC Main 10, AV1, VP9, ProRes) and the profile's device plays them.
bool keepsTenBits(const QString& code, const ProfileFormat& format);
// PQ and HLG pictures, by FFmpeg's transfer names.
bool isHdrTransfer(const QString& transfer);
// HDR pictures stay HDR: ten bits kept, and a device (if any) that shows HDR.
bool keepsHdr(const QString& code, const ProfileFormat& format);
// FFmpeg has the filters the engine tone-maps with.
bool engineCanToneMap();
