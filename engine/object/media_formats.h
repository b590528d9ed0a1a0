// The engine's pixel- and sample-format tables and their FFmpeg counterparts.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

namespace MediaBased {

struct PixelFormatInfo {
    int32_t id;
    const char* name;
    int32_t ffmpegFormat;  // an AVPixelFormat
    int32_t bytesPerSample;
    int32_t bitsPerPixel;
    int32_t planeCount;
    int32_t widthShift[4];
    int32_t heightShift[4];
    int32_t black[4];
    int32_t lumaPosition;
    int32_t chromaPosition;
};

constexpr int kPixelFormatCount = 26;

// Both lookups scan the table from the top and take the first match. A miss yields an entry
// with id -1, FFmpeg format -1 and every other column 0.
PixelFormatInfo FindPixelFormatById(int32_t id);
PixelFormatInfo FindPixelFormatByFfmpeg(int32_t ffmpegFormat);
const PixelFormatInfo& PixelFormatAt(int index);

int32_t SampleFormatFromFfmpeg(int32_t ffmpegFormat);
// AV_SAMPLE_FMT_NONE (-1) for ids outside the table.
int32_t FfmpegSampleFormat(int32_t engineFormat);
bool IsInterleavedSampleFormat(int32_t engineFormat);

}  // namespace MediaBased
