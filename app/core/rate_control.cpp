#include "rate_control.h"

#include <array>

#include "codec_tables.h"

namespace {

struct ScaleRow {
    const char* key;  // an encoder name, or a hardware row's code
    QualityScale scale;
};

// x264 and x265 share their 0-51 scale; VP9 and SVT-AV1 go to 63, SVT-AV1 from 1 (it reads 0
// as no value). Hardware rows fall back to the software encoder of their format, so they offer
// its scale.
constexpr std::array<ScaleRow, 7> kScales = {{
    {"h264", {0, 51, 23}},
    {"libx264", {0, 51, 23}},
    {"libx265", {0, 51, 28}},
    {"libvpx-vp9", {0, 63, 31}},
    {"libsvtav1", {1, 63, 35}},
    {"HWH4", {0, 51, 23}},
    {"HWH5", {0, 51, 28}},
}};

}  // namespace

std::optional<QualityScale> qualityScaleOf(const QString& codecCode) {
    const QString encoder = codecInfo(codecCode).encoder;
    for (const ScaleRow& row : kScales)
        if (codecCode == QLatin1String(row.key) || encoder == QLatin1String(row.key))
            return row.scale;
    return std::nullopt;
}

const QStringList& speedNames() {
    static const QStringList names = {"fastest", "fast", "balanced", "slow", "slowest"};
    return names;
}
