#include "convert/export_video_stream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "convert/export_aspect_fraction.h"
#include "convert/export_encoder_options.h"
#include "convert/export_extradata.h"
#include "convert/export_hardware_encoder.h"
#include "object/media_formats.h"
#include "system/module_logger.h"
#include "system/thread_budget.h"

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

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

bool Named(const AVCodec* encoder, const char* name) {
    return encoder != nullptr && std::strcmp(encoder->name, name) == 0;
}

bool IsYuvPlanar(const AVPixFmtDescriptor& descriptor) {
    return !(descriptor.flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_HWACCEL |
                                 AV_PIX_FMT_FLAG_PAL)) &&
           (descriptor.flags & AV_PIX_FMT_FLAG_PLANAR) && descriptor.nb_components == 3;
}

bool IsFullRangeFormat(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
           format == AV_PIX_FMT_YUVJ411P;
}

// Pictures reach the encoder through the image converter, which makes only the engine's formats.
bool MadeByEngine(AVPixelFormat format) {
    return FindPixelFormatByFfmpeg(format).id != PixelFormatUnknown;
}

// Profiles that allow 4:2:0 pictures only: H.264 up to High 10, HEVC Main and Main 10.
bool ProfileWants420(AVCodecID codec, int32_t profile) {
    if (codec == AV_CODEC_ID_H264)
        return profile > 0 && profile <= FF_PROFILE_H264_HIGH_10;
    if (codec == AV_CODEC_ID_HEVC)
        return profile == FF_PROFILE_HEVC_MAIN || profile == FF_PROFILE_HEVC_MAIN_10;
    return false;
}

// A 10-bit YUV format the encoder takes: the source's chroma layout where the profile allows
// it, else 4:2:0; NONE when the encoder takes neither.
AVPixelFormat TenBitFormat(const AVCodec& encoder, const StreamRecord& record,
                           const AVPixFmtDescriptor* source) {
    if (encoder.pix_fmts == nullptr)
        return AV_PIX_FMT_NONE;
    const bool only420 = ProfileWants420(encoder.id, record.profile);
    const int chromaWidth = source != nullptr && !only420 ? source->log2_chroma_w : 1;
    const int chromaHeight = source != nullptr && !only420 ? source->log2_chroma_h : 1;
    AVPixelFormat fallback = AV_PIX_FMT_NONE;
    for (const AVPixelFormat* format = encoder.pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(*format);
        if (descriptor == nullptr || !IsYuvPlanar(*descriptor) || descriptor->comp[0].depth != 10 ||
            !MadeByEngine(*format))
            continue;
        if (descriptor->log2_chroma_w == chromaWidth && descriptor->log2_chroma_h == chromaHeight)
            return *format;
        if (descriptor->log2_chroma_w == 1 && descriptor->log2_chroma_h == 1)
            fallback = *format;
    }
    return fallback;
}

// The format the encoder is given: its first one, as always, unless 10 bits are asked for
// and it takes them. HEVC Main 10 is 10-bit whatever the source; a device-only encoder gets
// its pictures as NV12.
AVPixelFormat ChoosePixelFormat(const AVCodec* encoder, const StreamRecord& record,
                                const VideoEncoding& encoding) {
    if (encoder != nullptr && TakesDeviceFramesOnly(*encoder))
        return AV_PIX_FMT_NV12;
    const bool listsFormats = encoder && encoder->pix_fmts && encoder->pix_fmts[0] != AV_PIX_FMT_NONE;
    const AVPixelFormat first = listsFormats ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (!listsFormats)
        return first;
    const AVPixFmtDescriptor* firstDescriptor = av_pix_fmt_desc_get(first);
    if (firstDescriptor == nullptr || firstDescriptor->comp[0].depth > 8)
        return first;
    const SourcePicture* source = encoding.source ? &*encoding.source : nullptr;
    const bool main10 = encoder->id == AV_CODEC_ID_HEVC && record.profile == FF_PROFILE_HEVC_MAIN_10;
    const bool keepDeep = encoding.bitDepth >= 10 && !encoding.toneMap && source != nullptr &&
                          source->BitDepth() > 8;
    if (!main10 && !keepDeep)
        return first;
    const AVPixelFormat deep =
        TenBitFormat(*encoder, record, source != nullptr ? av_pix_fmt_desc_get(source->format) : nullptr);
    return deep != AV_PIX_FMT_NONE ? deep : first;
}

// The source's colour description, as far as the pictures the encoder gets still have it:
// the image converter turns full-range pictures into limited-range ones unless the target
// format is full-range itself. Tone-mapped pictures are BT.709.
void DescribeColour(AVCodecContext& context, const VideoEncoding& encoding) {
    if (encoding.toneMap) {
        context.color_primaries = AVCOL_PRI_BT709;
        context.color_trc = AVCOL_TRC_BT709;
        context.colorspace = AVCOL_SPC_BT709;
        context.color_range = AVCOL_RANGE_MPEG;
        return;
    }
    if (!encoding.source)
        return;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(context.pix_fmt);
    if (descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB))
        return;
    const SourcePicture& source = *encoding.source;
    context.color_primaries = source.primaries;
    context.color_trc = source.transfer;
    context.colorspace = source.matrix;
    if (source.range != AVCOL_RANGE_UNSPECIFIED)
        context.color_range = IsFullRangeFormat(context.pix_fmt) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    context.chroma_sample_location = source.chromaLocation;
}

// Encoder profiles named through private options rather than the context's profile.
void ApplyPrivateProfile(AVCodecContext& context, const StreamRecord& record) {
    if (context.priv_data == nullptr || context.codec == nullptr)
        return;
    if (Named(context.codec, "libx265")) {
        // x265 has no 4:2:2 or 4:4:4 names here: it picks those profiles from the pictures.
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(context.pix_fmt);
        if (descriptor != nullptr && descriptor->log2_chroma_w == 1 && descriptor->log2_chroma_h == 1) {
            const bool deep = descriptor->comp[0].depth > 8;
            av_opt_set(context.priv_data, "profile", deep ? "main10" : "main", 0);
            context.profile = deep ? FF_PROFILE_HEVC_MAIN_10 : FF_PROFILE_HEVC_MAIN;
        }
    } else if (Named(context.codec, "prores_ks") && record.profile > 0) {
        av_opt_set_int(context.priv_data, "profile", record.profile, 0);
    } else if (context.codec_id == AV_CODEC_ID_H264) {
        // High and lower profiles hold 8-bit pictures only.
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(context.pix_fmt);
        if (descriptor != nullptr && descriptor->comp[0].depth > 8 && context.profile > 0 &&
            context.profile < FF_PROFILE_H264_HIGH_10)
            context.profile = FF_PROFILE_H264_HIGH_10;
    }
}

// x265 writes the mastering display and light levels into the bitstream only when told, in
// units of 0.00002 for chromaticities and 0.0001 cd/m² for luminance.
std::string X265HdrParameters(const SourcePicture& source, const std::string& given) {
    std::string parameters;
    const auto add = [&parameters](const std::string& item) {
        parameters += (parameters.empty() ? "" : ":") + item;
    };
    if (source.mastering && source.mastering->has_primaries && source.mastering->has_luminance &&
        given.find("master-display") == std::string::npos) {
        const AVMasteringDisplayMetadata& m = *source.mastering;
        const auto chroma = [](AVRational value) { return std::lround(av_q2d(value) * 50000); };
        const auto luma = [](AVRational value) { return std::lround(av_q2d(value) * 10000); };
        // x265 lists green, blue, red; FFmpeg keeps red, green, blue.
        char text[160];
        std::snprintf(text, sizeof text, "master-display=G(%ld,%ld)B(%ld,%ld)R(%ld,%ld)WP(%ld,%ld)L(%ld,%ld)",
                      chroma(m.display_primaries[1][0]), chroma(m.display_primaries[1][1]),
                      chroma(m.display_primaries[2][0]), chroma(m.display_primaries[2][1]),
                      chroma(m.display_primaries[0][0]), chroma(m.display_primaries[0][1]),
                      chroma(m.white_point[0]), chroma(m.white_point[1]), luma(m.max_luminance),
                      luma(m.min_luminance));
        add(text);
    }
    if (source.light && given.find("max-cll") == std::string::npos)
        add("max-cll=" + std::to_string(source.light->MaxCLL) + "," + std::to_string(source.light->MaxFALL));
    return parameters;
}

// The target's options, with the source's HDR metadata added to x265's own parameters unless
// the options already give them, and x265 kept quiet unless they say otherwise.
SystemBased::DictionaryPtr EncoderOptions(const AVCodec& encoder, const VideoEncoding& encoding) {
    SystemBased::DictionaryPtr options = encoding.options.empty()
                                             ? SystemBased::DictionaryPtr()
                                             : ParseEncoderOptions(encoding.options, encoder.name);
    if (!Named(&encoder, "libx265"))
        return options;
    const AVDictionaryEntry* given = av_dict_get(options.get(), "x265-params", nullptr, 0);
    std::string parameters = given != nullptr ? given->value : "";
    const auto add = [&parameters](const std::string& item) {
        if (!item.empty())
            parameters += (parameters.empty() ? "" : ":") + item;
    };
    // x265 writes its own report to the process's standard error, past the engine's log.
    if (parameters.find("log-level") == std::string::npos)
        add("log-level=error");
    if (!encoding.toneMap && encoding.source)
        add(X265HdrParameters(*encoding.source, parameters));
    AVDictionary* merged = options.release();
    if (av_dict_set(&merged, "x265-params", parameters.c_str(), 0) < 0) {
        av_dict_free(&merged);
        throw std::bad_alloc();
    }
    return SystemBased::DictionaryPtr(merged);
}

std::string Refusal(const AVCodec& encoder, const AVCodecContext& context, const std::string& why) {
    const std::string rate = context.bit_rate > 0
                                 ? "at " + std::to_string((context.bit_rate + 500) / 1000) + " kbit/s"
                                 : "at constant quality";
    return std::string(encoder.name) + " refused " + std::to_string(context.width) + "x" +
           std::to_string(context.height) + " " + rate + " (" + why + ")";
}

// Opens a configured context: the device pool first for a device-only encoder. False with the
// reason in *why.
bool OpenConfigured(AVCodecContext& context, const AVCodec& encoder, const VideoEncoding& encoding,
                    std::string* why) {
    if (TakesDeviceFramesOnly(encoder)) {
        std::string reason;
        if (AttachDeviceFrames(context, context.pix_fmt, &reason) < 0) {
            *why = Refusal(encoder, context, reason);
            return false;
        }
    }
    SystemBased::DictionaryPtr options = EncoderOptions(encoder, encoding);
    AVDictionary* left = options.release();
    const int opened = avcodec_open2(&context, &encoder, &left);
    options.reset(left);
    if (opened < 0) {
        *why = Refusal(encoder, context, ErrorText(opened));
        return false;
    }
    ReportUnusedOptions(options.get(), encoder.name);
    return true;
}

// Encoders that use one thread unless told otherwise: they get the task's share of the
// processors (their output does not depend on it). x264 and the others keep their own choice,
// on which the bitstream of the older profiles depends.
bool SplitsWorkWhenAsked(const AVCodec& encoder) {
    static const char* const kNames[] = {"libvpx-vp9", "libvpx", "prores_ks"};
    for (const char* name : kNames)
        if (std::strcmp(encoder.name, name) == 0)
            return true;
    return false;
}

SystemBased::CodecContextPtr ConfiguredContext(const AVCodec& encoder, const AVCodecContext& model,
                                               const StreamRecord& record, const PropertyBlob* extradata,
                                               const char* formatName, AVFormatContext& output,
                                               const VideoEncoding& encoding) {
    SystemBased::CodecContextPtr context(avcodec_alloc_context3(&encoder));
    if (context == nullptr)
        throw std::bad_alloc();
    ConfigureVideoEncoder(*context, record, extradata, formatName, output, encoding);
    context->sample_aspect_ratio = model.sample_aspect_ratio;
    return context;
}

// Sends a few black pictures through an opened encoder and drains it. False with the reason
// in *why when the encoder fails at any step.
bool EncodesTestPictures(AVCodecContext& context, std::string* why) {
    constexpr int kTestPictures = 3;
    SystemBased::FramePtr black(av_frame_alloc());
    SystemBased::PacketPtr packet(av_packet_alloc());
    if (black == nullptr || packet == nullptr)
        throw std::bad_alloc();
    black->format = EncoderPictureFormat(context);
    black->width = context.width;
    black->height = context.height;
    if (av_frame_get_buffer(black.get(), 0) < 0)
        throw std::bad_alloc();
    ptrdiff_t lines[4] = {};
    for (int plane = 0; plane < 4; ++plane)
        lines[plane] = black->linesize[plane];
    av_image_fill_black(black->data, lines, static_cast<AVPixelFormat>(black->format),
                        AVCOL_RANGE_MPEG, black->width, black->height);
    for (int i = 0; i <= kTestPictures; ++i) {
        int sent = 0;
        if (i < kTestPictures) {
            SystemBased::FramePtr picture(av_frame_clone(black.get()));
            if (picture == nullptr)
                throw std::bad_alloc();
            picture->pts = i;
            if (!MoveToEncoderDevice(context, *picture)) {
                *why = "cannot copy a picture to the device";
                return false;
            }
            sent = avcodec_send_frame(&context, picture.get());
        } else {
            sent = avcodec_send_frame(&context, nullptr);
        }
        if (sent < 0) {
            *why = "encoding a test picture failed (" + ErrorText(sent) + ")";
            return false;
        }
        int received = 0;
        while ((received = avcodec_receive_packet(&context, packet.get())) >= 0)
            av_packet_unref(packet.get());
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) {
            *why = "encoding a test picture failed (" + ErrorText(received) + ")";
            return false;
        }
    }
    return true;
}

// Opens context for encoder; a hardware encoder proves itself on test pictures first.
bool OpenEncoder(SystemBased::CodecContextPtr& context, const AVCodec& encoder, const StreamRecord& record,
                 const PropertyBlob* extradata, const char* formatName, AVFormatContext& output,
                 const VideoEncoding& encoding, std::string* why) {
    if (IsHardwareEncoder(encoder)) {
        SystemBased::CodecContextPtr trial =
            ConfiguredContext(encoder, *context, record, extradata, formatName, output, encoding);
        if (!OpenConfigured(*trial, encoder, encoding, why))
            return false;
        if (!EncodesTestPictures(*trial, why)) {
            *why = Refusal(encoder, *trial, *why);
            return false;
        }
    }
    return OpenConfigured(*context, encoder, encoding, why);
}

}  // namespace

VideoEncoding ReadVideoEncoding(IStreamInfo& info, std::optional<SourcePicture> source) {
    VideoEncoding encoding;
    encoding.options = TextProperty(info, kEncoderOptionsProperty);
    encoding.bitDepth = IntProperty(info, kBitDepthProperty).value_or(8);
    encoding.fallback = TextProperty(info, kFallbackEncoderProperty);
    encoding.source = std::move(source);
    if (IntProperty(info, kToneMapProperty).value_or(0) == 1 && encoding.source &&
        encoding.source->HighDynamicRange()) {
        if (avfilter_get_by_name("zscale") == nullptr || avfilter_get_by_name("tonemap") == nullptr)
            SystemBased::ReportMessage(
                "tone mapping warning: this FFmpeg has no zscale filter (libzimg) or no tonemap "
                "filter; the HDR pictures are encoded as they are, with their own colour description",
                "373");
        else
            encoding.toneMap = true;
    }
    return encoding;
}

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
                           AVFormatContext& output, const VideoEncoding& encoding) {
    const AVCodec* encoder = context.codec;
    const AVCodecID codec = encoder ? encoder->id : AV_CODEC_ID_NONE;
    context.codec_type = AVMEDIA_TYPE_VIDEO;
    context.codec_id = codec;
    context.width = record.width;
    context.height = record.height;
    const double frameRate = RequestedFrameRate(record);
    // In quality mode the options carry the rate control; a bit rate would override it.
    const bool quality = encoding.QualityMode(record);
    context.bit_rate = record.bitRate != 0 ? record.bitRate : quality ? 0 : kDefaultVideoBitRate;
    CopyExtradata(extradata, &context.extradata, &context.extradata_size);

    context.pix_fmt = ChoosePixelFormat(encoder, record, encoding);
    RoundVideoSize(context.pix_fmt, context.width, context.height);

    context.qblur = 0.5f;
    context.time_base = FrameTimeBase(codec, frameRate);
    if (codec == AV_CODEC_ID_MPEG2VIDEO)
        context.max_b_frames = 2;
    if (codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_LJPEG)
        context.strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

    if (!quality)
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
    if (record.maxRate > 0 && !quality)
        context.rc_max_rate = record.maxRate;
    if (record.bufferSize > 0 && !quality)
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
    DescribeColour(context, encoding);
    ApplyPrivateProfile(context, record);
    if (encoder != nullptr && SplitsWorkWhenAsked(*encoder))
        context.thread_count = SystemBased::ThreadBudget();
}

AVStream* CreateVideoStream(AVFormatContext& output, AVCodecContext& context,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName, const VideoEncoding& encoding) {
    if (context.codec == nullptr || context.codec->id == AV_CODEC_ID_NONE)
        SystemBased::ReportError("video codec id error", "347");
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (stream == nullptr)
        SystemBased::ReportError("create video stream error", "352");
    ConfigureVideoEncoder(context, record, extradata, formatName, output, encoding);
    stream->time_base = context.time_base;
    stream->sample_aspect_ratio = context.sample_aspect_ratio;
    stream->avg_frame_rate = stream->r_frame_rate = context.framerate;
    return stream;
}

void OpenVideoStreamEncoder(SystemBased::CodecContextPtr& context, const AVCodec*& encoder,
                            const StreamRecord& record, const PropertyBlob* extradata,
                            const char* formatName, AVFormatContext& output,
                            const VideoEncoding& encoding) {
    std::string why;
    if (OpenEncoder(context, *encoder, record, extradata, formatName, output, encoding, &why))
        return;
    const AVCodec* fallback =
        encoding.fallback.empty() ? nullptr : avcodec_find_encoder_by_name(encoding.fallback.c_str());
    if (fallback == nullptr || fallback == encoder || fallback->type != AVMEDIA_TYPE_VIDEO) {
        if (!encoding.fallback.empty() && fallback == nullptr)
            why += "; the fallback encoder " + encoding.fallback + " is not in this FFmpeg";
        SystemBased::ReportError(("video encoder error: " + why).c_str(), "370");
    }
    SystemBased::ReportMessage(("video encoder fallback: " + std::string(encoder->name) +
                                " cannot be used (" + why + "); encoding with " + fallback->name +
                                " instead")
                                   .c_str(),
                               "372");
    SystemBased::CodecContextPtr replacement =
        ConfiguredContext(*fallback, *context, record, extradata, formatName, output, encoding);
    std::string fallbackWhy;
    if (!OpenEncoder(replacement, *fallback, record, extradata, formatName, output, encoding, &fallbackWhy))
        SystemBased::ReportError(("video encoder error: " + fallbackWhy).c_str(), "370");
    context = std::move(replacement);
    encoder = fallback;
}

std::string ToneMapFilter(const VideoEncoding& encoding, const AVCodecContext& context) {
    if (!encoding.toneMap || !encoding.source)
        return std::string();
    const SourcePicture& source = *encoding.source;
    // The source's own description where it has one, so that pictures which lost theirs on the
    // way are read alike; zscale numbers them as FFmpeg does.
    std::string input = "tin=" + std::to_string(source.transfer);
    if (source.primaries != AVCOL_PRI_UNSPECIFIED)
        input += ":pin=" + std::to_string(source.primaries);
    if (source.matrix != AVCOL_SPC_UNSPECIFIED)
        input += ":min=" + std::to_string(source.matrix);
    if (source.range != AVCOL_RANGE_UNSPECIFIED)
        input += std::string(":rin=") + (source.range == AVCOL_RANGE_JPEG ? "full" : "limited");
    const AVPixFmtDescriptor* target = av_pix_fmt_desc_get(EncoderPictureFormat(context));
    const bool deep = target != nullptr && target->comp[0].depth > 8;
    // Linear light at 100 cd/m² nominal peak, Hable's curve in BT.709 primaries, then back to
    // BT.709 limited-range YUV, so that scaling never converts between matrices.
    return "zscale=" + input + ":t=linear:npl=100,format=gbrpf32le,zscale=p=bt709," +
           "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=" +
           (deep ? "yuv420p10le" : "yuv420p");
}

void AddHdrSideData(AVStream& stream, const VideoEncoding& encoding) {
    if (encoding.toneMap || !encoding.source)
        return;
    const SourcePicture& source = *encoding.source;
    if (source.mastering) {
        if (uint8_t* data = av_stream_new_side_data(&stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA,
                                                    sizeof(AVMasteringDisplayMetadata)))
            std::memcpy(data, &*source.mastering, sizeof(AVMasteringDisplayMetadata));
        else
            throw std::bad_alloc();
    }
    if (source.light) {
        if (uint8_t* data = av_stream_new_side_data(&stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL,
                                                    sizeof(AVContentLightMetadata)))
            std::memcpy(data, &*source.light, sizeof(AVContentLightMetadata));
        else
            throw std::bad_alloc();
    }
}

}  // namespace MediaBased
