#include "video_encoding.h"

#include <QStringList>
#include <algorithm>

extern "C" {
#include <libavfilter/avfilter.h>
}

#include "codec_tables.h"
#include "hardware_encoders.h"
#include "profile_catalogue.h"
#include "rate_control.h"

namespace {

bool isOneOf(const QString& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&name](const char* n) { return name == QLatin1String(n); });
}

bool isX26x(const QString& encoder) {
    return isOneOf(encoder, {"h264", "libx264", "libx265"});
}
bool isVaapi(const QString& encoder) {
    return encoder.endsWith(QLatin1String("_vaapi"));
}
bool isNvenc(const QString& encoder) {
    return encoder.endsWith(QLatin1String("_nvenc"));
}
bool isQsv(const QString& encoder) {
    return encoder.endsWith(QLatin1String("_qsv"));
}

// fastest, fast, balanced, slow, slowest; -1 for anything else (the encoder's default).
int speedStep(const QString& speed) {
    return static_cast<int>(speedNames().indexOf(speed));
}

QString speedOptions(const QString& encoder, int step) {
    if (step < 0)
        return {};
    static const char* const x26x[] = {"veryfast", "faster", "medium", "slow", "veryslow"};
    static const int svt[] = {12, 10, 8, 6, 4};
    static const int vp9[] = {5, 4, 2, 1, 0};
    // NVENC's named presets (fast = p1, medium = p4, slow = p7) rather than p1…p7: the same
    // options reach libx264 or libx265 when the engine falls back, and they take these names
    // but fail to open on "p4".
    static const char* const nvenc[] = {"fast", "fast", "medium", "slow", "slow"};
    if (isX26x(encoder) || isQsv(encoder))
        return QStringLiteral("preset=%1").arg(QLatin1String(x26x[step]));
    if (encoder == QLatin1String("libsvtav1"))
        return QStringLiteral("preset=%1").arg(svt[step]);
    if (encoder == QLatin1String("libvpx-vp9"))
        return QStringLiteral("deadline=good:cpu-used=%1").arg(vp9[step]);
    if (isNvenc(encoder))
        return QStringLiteral("preset=%1").arg(QLatin1String(nvenc[step]));
    return {};
}

QString qualityOptions(const QString& encoder, int quality) {
    const int q = clampedQuality(encoder, quality);
    if (isX26x(encoder) || encoder == QLatin1String("libsvtav1"))
        return QStringLiteral("crf=%1").arg(q);
    if (encoder == QLatin1String("libvpx-vp9"))
        return QStringLiteral("crf=%1:b=0").arg(q);
    if (isVaapi(encoder))
        return QStringLiteral("rc_mode=CQP:qp=%1").arg(q);
    if (isNvenc(encoder))
        return QStringLiteral("rc=vbr:cq=%1").arg(q);
    if (isQsv(encoder))
        return QStringLiteral("global_quality=%1").arg(q);
    return {};
}

}  // namespace

VideoEncoderChoice videoEncoderFor(const QString& code, const HardwareProbe& probe) {
    const CodecInfo& codec = codecInfo(code);
    VideoEncoderChoice choice{codec.encoder, {}, {}};
    if (!codec.hardware)
        return choice;
    const bool hevc = code == QLatin1String("HWH5");
    const QString& found = hevc ? probe.hevcEncoder : probe.h264Encoder;
    if (!found.isEmpty()) {
        choice.encoder = found;
        choice.fallback = codec.encoder;
        return choice;
    }
    QStringList tried = probe.log;
    tried.removeIf([hevc](const QString& line) {
        return !line.contains(hevc ? QLatin1String("hevc_") : QLatin1String("h264_"));
    });
    choice.warning = QStringLiteral("no hardware %1 encoder on this machine: %2")
                         .arg(hevc ? QStringLiteral("HEVC") : QStringLiteral("H.264"),
                              tried.isEmpty() ? QStringLiteral("none was tried") : tried.join(QStringLiteral("; ")));
    return choice;
}

VideoEncoderChoice videoEncoderFor(const QString& code) {
    return codecInfo(code).hardware ? videoEncoderFor(code, hardwareEncoders()) : videoEncoderFor(code, HardwareProbe{});
}

bool takesQuality(const QString& encoder) {
    return !qualityOptions(encoder, 0).isEmpty();
}

int clampedQuality(const QString& encoder, int quality) {
    int low = 0;
    int high = 51;
    if (encoder == QLatin1String("libvpx-vp9")) {
        high = 63;
    } else if (encoder == QLatin1String("libsvtav1")) {
        low = 1;  // 0 is "not set" there
        high = 63;
    } else if (isVaapi(encoder)) {
        low = 1;
        high = 52;
    } else if (isNvenc(encoder) || isQsv(encoder)) {
        low = 1;
    }
    return std::clamp(quality, low, high);
}

QString videoEncoderOptions(const QString& encoder, const QString& rateControl, int quality, const QString& speed) {
    QStringList options;
    if (rateControl == QLatin1String("quality"))
        options.append(qualityOptions(encoder, quality));
    options.append(speedOptions(encoder, speedStep(speed)));
    options.removeAll(QString());
    return options.join(':');
}

bool keepsExactPicture(const QString& extension, const QString& encoder) {
    return (extension == QLatin1String(".vob") && encoder == QLatin1String("mpeg2video")) ||
           encoder == QLatin1String("h263");
}

bool isDeviceProfile(const ProfileFormat& format) {
    return format.limits != DeviceLimits{};
}

bool keepsTenBits(const QString& code, const ProfileFormat& format) {
    if (!isOneOf(code, {"HV10", "AV1 ", "VP9 ", "APCN"}))
        return false;
    return !isDeviceProfile(format) || format.limits.maxBitDepth >= 10;
}

bool isHdrTransfer(const QString& transfer) {
    return transfer == QLatin1String("smpte2084") || transfer == QLatin1String("arib-std-b67");
}

bool keepsHdr(const QString& code, const ProfileFormat& format) {
    return keepsTenBits(code, format) && (!isDeviceProfile(format) || format.limits.hdr);
}

bool engineCanToneMap() {
    return avfilter_get_by_name("zscale") != nullptr && avfilter_get_by_name("tonemap") != nullptr;
}
