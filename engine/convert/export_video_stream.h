// Setting up the encoder and the FFmpeg stream for one output video stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "convert/export_source_picture.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"
#include "vantrel/records.h"

namespace MediaBased {

// What a target stream asks of its encoder beyond its record, with what is known of the
// source's pictures. Empty, it asks for nothing beyond the record.
struct VideoEncoding {
    std::string options;   // encoder options text
    int32_t bitDepth = 8;  // 10: keep 10 bits from a deeper source
    bool toneMap = false;  // the HDR source becomes BT.709 SDR
    std::string fallback;  // the software encoder to use when the named one cannot be
    std::optional<SourcePicture> source;

    // Bit rate 0 with options: the options carry the rate control (a CRF).
    bool QualityMode(const StreamRecord& record) const { return record.bitRate == 0 && !options.empty(); }
};

// The target's properties for its encoder. Tone mapping is kept only for PQ and HLG sources,
// and, logged, is dropped where this FFmpeg lacks the zscale or tonemap filter.
VideoEncoding ReadVideoEncoding(IStreamInfo& info, std::optional<SourcePicture> source);

// frameTimeDen / frameTimeNum, or 23.976 when the record leaves either out.
double RequestedFrameRate(const StreamRecord& record);

// Grows a picture size to one that encoders working in this pixel format accept.
void RoundVideoSize(AVPixelFormat format, int& width, int& height);

// Fills an encoder context, allocated for its encoder, from an output video record, what the
// target asks beyond it, and the presets of the target container (formatName). The container
// presets may set the muxer's overall bit rate, hence output.
void ConfigureVideoEncoder(AVCodecContext& context, const StreamRecord& record,
                           const PropertyBlob* extradata, const char* formatName,
                           AVFormatContext& output, const VideoEncoding& encoding = VideoEncoding());

// Adds the video stream to output and configures context for it. Logs and raises "video codec
// id error" (347) or "create video stream error" (352).
AVStream* CreateVideoStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName, const VideoEncoding& encoding = VideoEncoding());

// Opens the configured context's encoder with the target's options. A hardware encoder must
// first encode a few test pictures in a context of its own, since some open and then fail at
// their first picture. When the encoder cannot be used and the target names a fallback, the
// reason is logged and context and encoder are replaced by the fallback's, configured alike
// (the sample aspect context had is kept). Logs and raises "video encoder error: …" (370)
// when nothing opens.
void OpenVideoStreamEncoder(SystemBased::CodecContextPtr& context, const AVCodec*& encoder,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName, AVFormatContext& output,
                            const VideoEncoding& encoding);

// The filter chain that turns the source's HDR pictures into BT.709 SDR ones in the encoder's
// bit depth, ahead of scaling; empty when the pictures are not tone-mapped.
std::string ToneMapFilter(const VideoEncoding& encoding, const AVCodecContext& context);

// The source's mastering display and content light levels, as the stream's side data, unless
// the pictures are tone-mapped.
void AddHdrSideData(AVStream& stream, const VideoEncoding& encoding);

}  // namespace MediaBased
