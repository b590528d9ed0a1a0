#include "hardware_encoders.h"

#include <QDir>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
}

namespace {

constexpr int kProbeWidth = 256;
constexpr int kProbeHeight = 144;

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct BufferUnref {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Buffer = std::unique_ptr<AVBufferRef, BufferUnref>;

QString errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// A missing driver makes FFmpeg complain loudly; the probe's own log says the same in one line.
// The level is global: the probe runs once per process, before any conversion needs it.
class QuietFfmpegLog {
public:
    QuietFfmpegLog() : level_(av_log_get_level()) { av_log_set_level(AV_LOG_QUIET); }
    ~QuietFfmpegLog() { av_log_set_level(level_); }
    QuietFfmpegLog(const QuietFfmpegLog&) = delete;
    QuietFfmpegLog& operator=(const QuietFfmpegLog&) = delete;

private:
    int level_;
};

// Opens name on a tiny picture; frames, when given, are the device's own surfaces. Empty on
// success, else why not.
QString tryOpen(const char* name, AVPixelFormat format, AVBufferRef* frames) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr)
        return QStringLiteral("not in this FFmpeg");
    CodecContext context(avcodec_alloc_context3(codec));
    if (!context)
        return QStringLiteral("out of memory");
    context->width = kProbeWidth;
    context->height = kProbeHeight;
    context->time_base = AVRational{1, 25};
    context->framerate = AVRational{25, 1};
    context->pix_fmt = format;
    context->bit_rate = 500000;
    if (frames != nullptr) {
        context->hw_frames_ctx = av_buffer_ref(frames);
        if (context->hw_frames_ctx == nullptr)
            return QStringLiteral("out of memory");
    }
    const int opened = avcodec_open2(context.get(), codec, nullptr);
    return opened < 0 ? QStringLiteral("cannot open: %1").arg(errorText(opened)) : QString();
}

// NVENC reports a missing driver as "Operation not permitted"; the library it loads says more.
QString whyNoNvenc() {
    void* cuda = dlopen("libcuda.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (cuda == nullptr)
        return QStringLiteral("no NVIDIA driver (libcuda.so.1 cannot be loaded)");
    dlclose(cuda);
    return {};
}

void record(HardwareProbe& probe, const char* name, const QString& failure, QString& slot) {
    if (failure.isEmpty()) {
        probe.log.append(QStringLiteral("%1: opened").arg(QLatin1String(name)));
        if (slot.isEmpty())
            slot = QLatin1String(name);
    } else {
        probe.log.append(QStringLiteral("%1: %2").arg(QLatin1String(name), failure));
    }
}

// VAAPI encodes from surfaces of a device: the first render node that gives one is used.
void probeVaapi(HardwareProbe& probe) {
    const QStringList nodes =
        QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System, QDir::Name);
    if (nodes.isEmpty()) {
        probe.log.append(QStringLiteral("h264_vaapi, hevc_vaapi: no render node in /dev/dri"));
        return;
    }
    Buffer device;
    QString node;
    for (const QString& name : nodes) {
        const QByteArray path = QStringLiteral("/dev/dri/%1").arg(name).toLocal8Bit();
        AVBufferRef* created = nullptr;
        const int result = av_hwdevice_ctx_create(&created, AV_HWDEVICE_TYPE_VAAPI, path.constData(), nullptr, 0);
        if (result >= 0) {
            device.reset(created);
            node = QString::fromLocal8Bit(path);
            break;
        }
        probe.log.append(QStringLiteral("h264_vaapi, hevc_vaapi: no device on %1: %2")
                             .arg(QString::fromLocal8Bit(path), errorText(result)));
    }
    if (!device)
        return;
    for (const auto& [name, slot] : {std::pair{"h264_vaapi", &probe.h264Encoder},
                                     std::pair{"hevc_vaapi", &probe.hevcEncoder}}) {
        Buffer frames(av_hwframe_ctx_alloc(device.get()));
        if (!frames) {
            record(probe, name, QStringLiteral("out of memory"), *slot);
            continue;
        }
        auto* description = reinterpret_cast<AVHWFramesContext*>(frames->data);
        description->format = AV_PIX_FMT_VAAPI;
        description->sw_format = AV_PIX_FMT_NV12;
        description->width = kProbeWidth;
        description->height = kProbeHeight;
        description->initial_pool_size = 4;
        const int initialised = av_hwframe_ctx_init(frames.get());
        const QString failure = initialised < 0 ? QStringLiteral("no surfaces: %1").arg(errorText(initialised))
                                                : tryOpen(name, AV_PIX_FMT_VAAPI, frames.get());
        record(probe, name, failure.isEmpty() ? failure : failure + QStringLiteral(" (%1)").arg(node), *slot);
    }
}

}  // namespace

HardwareProbe probeHardwareEncoders() {
    // The log level is process-wide: two probes at once would restore each other's.
    static std::mutex probing;
    const std::lock_guard<std::mutex> lock(probing);
    const QuietFfmpegLog quiet;
    HardwareProbe probe;
    probeVaapi(probe);
    const QString noNvenc = whyNoNvenc();
    for (const auto& [name, slot] : {std::pair{"h264_nvenc", &probe.h264Encoder},
                                     std::pair{"hevc_nvenc", &probe.hevcEncoder}})
        record(probe, name, noNvenc.isEmpty() ? tryOpen(name, AV_PIX_FMT_YUV420P, nullptr) : noNvenc, *slot);
    record(probe, "h264_qsv", tryOpen("h264_qsv", AV_PIX_FMT_NV12, nullptr), probe.h264Encoder);
    record(probe, "hevc_qsv", tryOpen("hevc_qsv", AV_PIX_FMT_NV12, nullptr), probe.hevcEncoder);
    return probe;
}

const HardwareProbe& hardwareEncoders() {
    static const HardwareProbe probe = probeHardwareEncoders();
    return probe;
}

bool isHardwareCodecCode(const QString& code) {
    return code == QLatin1String("HWH4") || code == QLatin1String("HWH5");
}

bool hardwareCodecAvailable(const QString& code) {
    if (code == QLatin1String("HWH4"))
        return !hardwareEncoders().h264Encoder.isEmpty();
    if (code == QLatin1String("HWH5"))
        return !hardwareEncoders().hevcEncoder.isEmpty();
    return true;
}
