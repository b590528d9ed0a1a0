#include "object/media_formats.h"

#include "vantrel/records.h"

namespace MediaBased {
namespace {

// clang-format off
const PixelFormatInfo kPixelFormats[kPixelFormatCount] = {
    {PixelYUV420P,   "YUV420P",   AV_PIX_FMT_YUV420P,     1, 12, 3, {0,1,1,0}, {0,1,1,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUV422P,   "YUV422P",   AV_PIX_FMT_YUV422P,     1, 16, 3, {0,1,1,0}, {0,0,0,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUV444P,   "YUV444P",   AV_PIX_FMT_YUV444P,     1, 24, 3, {0,0,0,0}, {0,0,0,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUV411P,   "YUV411P",   AV_PIX_FMT_YUV411P,     1, 17, 3, {0,2,2,0}, {0,0,0,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUV410P,   "YUV410P",   AV_PIX_FMT_YUV410P,     1, 10, 3, {0,2,2,0}, {0,2,2,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUY2,      "YUY2",      AV_PIX_FMT_YUYV422,     2, 16, 1, {0,0,0,0}, {0,0,0,0}, {0x8000,0,0,0},       0, 1},
    {PixelUYVY422,   "UYVY422",   AV_PIX_FMT_UYVY422,     2, 16, 1, {0,0,0,0}, {0,0,0,0}, {0x0080,0,0,0},       1, 0},
    {PixelABGR,      "ABGR",      AV_PIX_FMT_ABGR,        4, 32, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelRGBA,      "RGBA",      AV_PIX_FMT_RGBA,        4, 32, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelBGRA,      "BGRA",      AV_PIX_FMT_BGRA,        4, 32, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelBGR32,     "BGR32",     AV_PIX_FMT_ABGR,        4, 32, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelBGR24,     "BGR24",     AV_PIX_FMT_BGR24,       3, 24, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelRGB32,     "RGB32",     AV_PIX_FMT_ARGB,        4, 32, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelRGB24,     "RGB24",     AV_PIX_FMT_RGB24,       3, 24, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelRGB555,    "RGB555",    AV_PIX_FMT_RGB555LE,    2, 16, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelRGB565,    "RGB565",    AV_PIX_FMT_RGB565LE,    2, 16, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelGray,      "gray",      AV_PIX_FMT_GRAY8,       1,  8, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelNV12,      "NV12",      AV_PIX_FMT_NV12,        1, 12, 2, {0,0,0,0}, {0,1,1,0}, {0x00,0x80,0x80,0},   0, 0},
    {PixelYUV420P10, "YUV420P10", AV_PIX_FMT_YUV420P10LE, 2, 24, 3, {0,1,1,0}, {0,1,1,0}, {0,0x200,0x200,0},    0, 0},
    {Pixel444P10,    "444P10",    AV_PIX_FMT_YUV444P10LE, 2, 48, 3, {0,0,0,0}, {0,0,0,0}, {0,0x200,0x200,0},    0, 0},
    {PixelYUV422P10, "YUV422P10", AV_PIX_FMT_YUV422P10LE, 2, 32, 3, {0,1,1,0}, {0,0,0,0}, {0,0x200,0x200,0},    0, 0},
    {PixelPal8,      "pal8",      AV_PIX_FMT_PAL8,        1,  8, 1, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelGBRP,      "GBRP",      AV_PIX_FMT_GBRP,        1, 24, 3, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelGBRP9,     "GBRP9",     AV_PIX_FMT_GBRP9LE,     2, 48, 3, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelGBRP10,    "GBRP10",    AV_PIX_FMT_GBRP10LE,    2, 48, 3, {0,0,0,0}, {0,0,0,0}, {0,0,0,0},            0, 0},
    {PixelYUVJ420P,  "YUVJ420P",  AV_PIX_FMT_YUVJ420P,    1, 12, 3, {0,1,1,0}, {0,1,1,0}, {0x00,0x80,0x80,0},   0, 0},
};
// clang-format on

constexpr PixelFormatInfo kNoPixelFormat = {-1, nullptr, -1, 0, 0, 0, {}, {}, {}, 0, 0};

// Engine sample-format ids in FFmpeg's u8, s16, s32, flt, dbl, u8p, s16p, s32p, fltp, dblp order.
const struct {
    int32_t engine;
    AVSampleFormat ffmpeg;
} kSampleFormats[] = {
    {U8, AV_SAMPLE_FMT_U8},     {S16, AV_SAMPLE_FMT_S16},   {S32, AV_SAMPLE_FMT_S32},
    {FLT, AV_SAMPLE_FMT_FLT},   {DBL, AV_SAMPLE_FMT_DBL},   {U8P, AV_SAMPLE_FMT_U8P},
    {S16P, AV_SAMPLE_FMT_S16P}, {S32P, AV_SAMPLE_FMT_S32P}, {FLTP, AV_SAMPLE_FMT_FLTP},
    {DBLP, AV_SAMPLE_FMT_DBLP},
};

}  // namespace

PixelFormatInfo FindPixelFormatById(int32_t id) {
    for (const auto& entry : kPixelFormats)
        if (entry.id == id)
            return entry;
    return kNoPixelFormat;
}

PixelFormatInfo FindPixelFormatByFfmpeg(int32_t ffmpegFormat) {
    for (const auto& entry : kPixelFormats)
        if (entry.ffmpegFormat == ffmpegFormat)
            return entry;
    return kNoPixelFormat;
}

const PixelFormatInfo& PixelFormatAt(int index) {
    return kPixelFormats[index];
}

int32_t SampleFormatFromFfmpeg(int32_t ffmpegFormat) {
    for (const auto& entry : kSampleFormats)
        if (entry.ffmpeg == ffmpegFormat)
            return entry.engine;
    return SampleFormatUnknown;
}

int32_t FfmpegSampleFormat(int32_t engineFormat) {
    for (const auto& entry : kSampleFormats)
        if (entry.engine == engineFormat)
            return entry.ffmpeg;
    return AV_SAMPLE_FMT_NONE;
}

bool IsInterleavedSampleFormat(int32_t engineFormat) {
    return engineFormat == U8 || engineFormat == S16 || engineFormat == S32 ||
           engineFormat == FLT || engineFormat == DBL;
}

}  // namespace MediaBased
