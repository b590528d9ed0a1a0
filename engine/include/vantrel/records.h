// Plain records and format ids shared by the Vantrel engine and its clients.
#pragma once

#include <atomic>
#include <cstdint>

namespace MediaBased {

class IMediaTaskConfig;
class ConverterTaskThread;

// Engine sample-format ids. They follow FFmpeg's u8..dblp order; 1, 2, 4, 5 and 6 are unused.
enum SampleFormat : int32_t {
    SampleFormatUnknown = -1,
    U8 = 0,
    S16 = 3,
    S32 = 7,
    FLT = 8,
    DBL = 9,
    U8P = 10,
    S16P = 11,
    S32P = 12,
    FLTP = 13,
    DBLP = 14,
};

// Engine pixel-format ids. "BGR32" shares id 29 with "ABGR".
enum PixelFormat : int32_t {
    PixelFormatUnknown = -1,
    PixelYUV420P = 0,
    PixelYUY2 = 1,
    PixelRGB24 = 2,
    PixelBGR24 = 3,
    PixelYUV422P = 4,
    PixelYUV444P = 5,
    PixelYUV410P = 6,
    PixelYUV411P = 7,
    PixelGray = 8,
    PixelPal8 = 11,
    PixelYUVJ420P = 12,
    PixelUYVY422 = 17,
    PixelNV12 = 25,
    PixelRGB32 = 27,
    PixelRGBA = 28,
    PixelABGR = 29,
    PixelBGR32 = 29,
    PixelBGRA = 30,
    PixelRGB555 = 31,
    PixelRGB565 = 32,
    PixelYUV420P10 = 33,
    Pixel444P10 = 34,
    PixelYUV422P10 = 35,
    PixelGBRP = 36,
    PixelGBRP9 = 37,
    PixelGBRP10 = 38,
};

// Flags of IMediaManager::CreateImageConverter.
enum ImageConverterFlags : uint32_t {
    ImageFlipVertically = 1,
    // Pictures flagged interlaced are deinterlaced (one picture out per picture in, one held
    // back; the named parameter "R_ImageConverterParamHeldPictures" answers how many are).
    ImageDeinterlace = 2,
    // The picture keeps its shape inside the target size, with black bars around it. Its
    // shape is the named parameter "W_ImageConverterParamDisplayAspect" (width / height as a
    // decimal number) or, without it, the picture's own sample aspect ratio.
    ImageFitAndPad = 4,
};

enum StreamKind : int32_t {
    StreamKindOther = 0,
    StreamKindVideo = 1,
    StreamKindAudio = 2,
    StreamKindSubtitle = 3,  // output descriptions only
};

// Frame kinds reported by IMediaFrame::GetKind.
enum FrameKind : int32_t {
    FrameKindCompressed = -1,
    FrameKindVideo = 0,
    FrameKindAudio = 1,
    FrameKindSubtitle = 2,  // no engine frame carries these two yet
    FrameKindData = 3,
};

// Describes one probed input stream or, with its output fields, one stream to encode.
// The three texts belong to whoever holds the record; the engine copies them on every copy.
struct StreamRecord {
    char* reservedText1;
    int32_t kind;
    int32_t id;
    char* codecName;
    char codecTag[4];  // first character in the lowest byte; all zero when not given
    char* reservedText2;
    int32_t width;
    int32_t height;
    int32_t frameTimeNum;
    int32_t frameTimeDen;
    int32_t sarNum;
    int32_t sarDen;
    double displayAspect;
    int32_t sampleRate;
    int32_t channels;
    int64_t channelLayout;
    int32_t bitRate;
    double durationSeconds;
    // Output-only fields, zero in records the importer fills.
    int32_t frameSize;
    uint8_t encode;
    uint8_t interlaced;
    int32_t bitRateTolerance;
    int32_t gopSize;
    int32_t qMin;
    int32_t qMax;
    int32_t profile;
    int32_t level;
    int32_t maxRate;
    int32_t bufferSize;
    int32_t refFrames;
    int32_t maxBFrames;
};

struct PropertyBlob {
    void* data;
    uint32_t size;
};

// Chooses one container stream for a source; its position in a list is the frame slot.
struct StreamSelection {
    int32_t streamIndex;
    uint8_t passThrough;
};

enum TaskState : int32_t {
    TaskWaiting = 0,
    TaskRunning = 1,
    TaskHeld = 2,
    TaskFailed = 3,
    TaskFinished = 4,
};

// Status of one converter task. The worker thread writes progress and state while the
// client polls them, hence the atomics.
struct ConvertTask {
    std::atomic<double> progress;
    std::atomic<int32_t> state;
    IMediaTaskConfig* config;
    ConverterTaskThread* worker;
};

}  // namespace MediaBased
