#include "convert/export_video_stream.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

#include "convert/export_aspect_fraction.h"
#include "convert/export_extradata.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

constexpr int64_t kDefaultVideoBitRate = 5000000;
constexpr int kDefaultTolerance = 200000;
constexpr int kMaxAspectTerm = 255;

bool IsAnyOf(const char* name, std::initializer_list<const char*> candidates) {
    return std::any_of(candidates.begin(), candidates.end(),
                       [name](const char* candidate) { return std::strcmp(name, candidate) == 0; });
}

AVRational FrameTimeBase(AVCodecID codec, double frameRate) {
    // MPEG-1 and MPEG-2 only know a few frame rates; snap the common film and NTSC ones.
    if (codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO) {
        if (frameRate < 24.0)
            return AVRational{1001, 24000};
        if (frameRate > 29.0 && frameRate < 30.0)
            return AVRational{1001, 30000};
    }
    const double ticks = std::clamp(frameRate * 1001.0 + 0.5, 1.0, static_cast<double>(INT_MAX));
    return AVRational{1001, static_cast<int>(ticks)};
}

int KilobitsToBits(int32_t kilobits) {
    return static_cast<int>(std::min<int64_t>(int64_t{kilobits} * 1000, INT_MAX));
}

AVRational SampleAspect(const StreamRecord& record, int width, int height) {
    if (record.displayAspect > 0 && width > 0 && height > 0)
        return NearestFraction(record.displayAspect * height / width, kMaxAspectTerm);
    if (record.sarNum != 0 && record.sarDen != 0)
        return AVRational{record.sarNum, record.sarDen};
    return AVRational{1, 1};
}

// Rates, buffers and GOP lengths that the VCD, SVCD and DVD players expect, and the
// mux rate of program streams.
void ApplyContainerPresets(AVCodecContext& context, const char* formatName, double frameRate,
                           AVFormatContext& output) {
    if (IsAnyOf(formatName, {"mpeg", "vob", "mpeg2video"}))
        output.bit_rate = 20000000;
    if (!IsAnyOf(formatName, {"vcd", "svcd", "dvd"}))
        return;
    const bool film = frameRate <= 25.0;
    context.gop_size = film ? 15 : 18;
    if (!film)
        context.time_base = AVRational{1001, 30000};
    if (std::strcmp(formatName, "vcd") == 0) {
        context.bit_rate = context.rc_max_rate = context.rc_min_rate = 1150000;
        context.rc_buffer_size = 327680;
        context.rc_initial_buffer_occupancy = 245760;
    } else if (std::strcmp(formatName, "svcd") == 0) {
        context.rc_max_rate = 2516000;
        context.rc_buffer_size = 1835008;
        context.rc_min_rate = 0;
        context.rc_initial_buffer_occupancy = 1376256;
    } else {
        const int64_t rate = context.bit_rate;
        const int clamped = static_cast<int>(std::min<int64_t>(rate, INT_MAX));
        context.rc_min_rate = context.rc_max_rate = rate;
        context.bit_rate_tolerance = clamped;
        context.rc_buffer_size = clamped;
        context.rc_initial_buffer_occupancy = static_cast<int>(std::min<int64_t>(rate * 3 / 4, INT_MAX));
        // Private options of the MPEG video encoders; others simply do not have them.
        if (context.priv_data) {
            av_opt_set_double(context.priv_data, "rc_buf_aggressivity", 1.0, 0);
            av_opt_set_double(context.priv_data, "rc_init_cplx", 0.5, 0);
        }
    }
}

}  // namespace

double RequestedFrameRate(const StreamRecord& record) {
    if (record.frameTimeNum != 0 && record.frameTimeDen != 0)
        return static_cast<double>(record.frameTimeDen) / record.frameTimeNum;
    return 23.976;
}

void RoundVideoSize(AVPixelFormat format, int& width, int& height) {
    switch (format) {
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_BGR24:
        // Rows of packed 24-bit pixels stay 4-byte aligned.
        width = (width + 3) / 4 * 4;
        break;
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_BGR555LE:
        width += width & 1;
        break;
    default:
        // Chroma subsampling and most encoders want even sizes (yuv420p included: libx264
        // rejects odd ones).
        width += width & 1;
        height += height & 1;
        break;
    }
}

void ConfigureVideoEncoder(AVCodecContext& context, const StreamRecord& record,
                           const PropertyBlob* extradata, const char* formatName,
                           AVFormatContext& output) {
    const AVCodec* encoder = context.codec;
    const AVCodecID codec = encoder ? encoder->id : AV_CODEC_ID_NONE;
    context.codec_type = AVMEDIA_TYPE_VIDEO;
    context.codec_id = codec;
    context.width = record.width;
    context.height = record.height;
    const double frameRate = RequestedFrameRate(record);
    context.bit_rate = record.bitRate != 0 ? record.bitRate : kDefaultVideoBitRate;
    CopyExtradata(extradata, &context.extradata, &context.extradata_size);

    const bool listsFormats = encoder && encoder->pix_fmts && encoder->pix_fmts[0] != AV_PIX_FMT_NONE;
    context.pix_fmt = listsFormats ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    RoundVideoSize(context.pix_fmt, context.width, context.height);

    context.qblur = 0.5f;
    context.time_base = FrameTimeBase(codec, frameRate);
    if (codec == AV_CODEC_ID_MPEG2VIDEO)
        context.max_b_frames = 2;
    if (codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_LJPEG)
        context.strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

    context.bit_rate_tolerance =
        record.bitRateTolerance >= 1 ? KilobitsToBits(record.bitRateTolerance) : kDefaultTolerance;
    if (record.gopSize > 0)
        context.gop_size = record.gopSize;
    context.qmin = (record.qMin < 1 || record.qMin == 2) ? 3 : record.qMin;
    if (codec == AV_CODEC_ID_H264)
        context.qmax = 51;
    if (record.qMax > 0)
        context.qmax = record.qMax;
    if (record.profile > 0)
        context.profile = record.profile;
    if (record.level > 0)
        context.level = record.level;
    if (record.maxRate > 0)
        context.rc_max_rate = record.maxRate;
    if (record.bufferSize > 0)
        context.rc_buffer_size = record.bufferSize;
    if (record.refFrames > 0)
        context.refs = record.refFrames;
    if (record.maxBFrames > 0)
        context.max_b_frames = record.maxBFrames;
    if (record.interlaced)
        context.flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    if (record.codecTag[0] != 0)
        context.codec_tag = MKTAG(record.codecTag[0], record.codecTag[1], record.codecTag[2],
                                  record.codecTag[3]);
    if (codec == AV_CODEC_ID_RAWVIDEO)
        context.bits_per_coded_sample = 0;
    if (output.oformat && (output.oformat->flags & AVFMT_GLOBALHEADER))
        context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context.sample_aspect_ratio = SampleAspect(record, context.width, context.height);

    ApplyContainerPresets(context, formatName ? formatName : "", frameRate, output);
    context.me_subpel_quality = 7;
    // The output is constant-rate: one frame per tick of the time base.
    context.framerate = av_inv_q(context.time_base);
}

AVStream* CreateVideoStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName) {
    if (context.codec == nullptr || context.codec->id == AV_CODEC_ID_NONE)
        SystemBased::ReportError("video codec id error", "347");
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        SystemBased::ReportError("create video stream error", "352");
    ConfigureVideoEncoder(context, record, extradata, formatName, output);
    stream->time_base = context.time_base;
    stream->sample_aspect_ratio = context.sample_aspect_ratio;
    stream->avg_frame_rate = stream->r_frame_rate = context.framerate;
    return stream;
}

}  // namespace MediaBased
