// Picture subtitles (DVD, Blu-ray, DVB) of the source drawn onto the pictures they are shown
// with, before the image converter scales them: the track is read from a demuxer of its own,
// its cues decoded, and each cue's palette pictures blended onto the decoded pictures whose
// time falls inside the cue.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

struct SwsContext;

namespace MediaBased {

// A codec whose subtitles are pictures.
bool IsPictureSubtitle(AVCodecID codec);

// Why a picture subtitle track cannot be drawn, in words for the task's log.
class PictureSubtitleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AVSubtitleDeleter {
    void operator()(AVSubtitle* subtitle) const {
        avsubtitle_free(subtitle);
        delete subtitle;
    }
};
using SubtitlePtr = std::unique_ptr<AVSubtitle, AVSubtitleDeleter>;

// How a picture stores its samples; a drawn cue is converted for one such layout at a time.
struct PictureLayout {
    int format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    int colorspace = AVCOL_SPC_UNSPECIFIED;
    int range = AVCOL_RANGE_UNSPECIFIED;
    bool operator==(const PictureLayout&) const = default;
};

// A cue as it covers pictures of one layout: its box in picture pixels and, for each pixel of
// the box, its opacity (0-255) and the value of each of the picture's components.
struct DrawnCue {
    PictureLayout layout;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> alpha;
    std::vector<uint16_t> values[4];
};

// One decoded cue: shown from start until end (engine units on the source's time line) or
// until the next cue starts, whichever comes first. A cue without pictures only ends the one
// before it.
struct PictureCue {
    int64_t start = 0;
    int64_t end = 0;
    int canvasWidth = 0;  // the size its positions refer to; 0 when the decoder gave none
    int canvasHeight = 0;
    SubtitlePtr subtitle;
    std::unique_ptr<DrawnCue> drawn;  // for the last layout it was drawn on
};

// True when DrawCue can draw on pictures of this format in place; pictures of other formats
// must be converted first.
bool CanDrawOn(int pixelFormat);

// Blends cue onto picture, whose buffers must be writable and whose format CanDrawOn accepts.
// Positions are scaled from the cue's canvas (the picture's size when it has none) to the
// picture's.
void DrawCue(AVFrame& picture, PictureCue& cue);

// Reads one picture subtitle track of an opened source, decoding its cues as the pictures
// reach them: the source is read on as far as the first cue that starts after the picture.
class PictureSubtitleTrack {
public:
    // Takes container, opened and probed, and reads streamIndex from it alone. Throws
    // PictureSubtitleError when the track has no decoder or it refuses to open.
    PictureSubtitleTrack(SystemBased::InputFormatContextPtr container, int streamIndex);
    PictureSubtitleTrack(const PictureSubtitleTrack&) = delete;
    PictureSubtitleTrack& operator=(const PictureSubtitleTrack&) = delete;

    // The cue shown at time (engine units on the source's time line), or null. Times are
    // expected to grow: cues ended before a time are forgotten.
    PictureCue* At(int64_t time);

private:
    void ReadPacket();
    void Decode(const AVPacket* packet);

    SystemBased::InputFormatContextPtr container_;
    AVStream* stream_ = nullptr;  // owned by container_
    SystemBased::CodecContextPtr decoder_;
    SystemBased::PacketPtr packet_;
    std::deque<PictureCue> cues_;  // by start time
    bool ended_ = false;
};

// An image converter that draws the track's cues on each picture before handing it to the
// converter it wraps, which scales it. Picture times are moved by timeOffset (engine units) onto
// the source's own time line, where the cues' times are.
class CBurnedPictureConverter final : public IImageConverter {
public:
    CBurnedPictureConverter(Owned<IImageConverter> scaler, std::unique_ptr<PictureSubtitleTrack> track,
                            int64_t timeOffset);
    ~CBurnedPictureConverter() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char* name, const char* value) override {
        return scaler_->NamedParameter(name, value);
    }
    void Release() override { delete this; }
    IVideoFrame* Convert(IVideoFrame* in) override;
    void EndOfStream() override { scaler_->EndOfStream(); }

private:
    // in itself, or a picture of the converter's with the cue due at its time drawn on it.
    IVideoFrame* Drawn(IVideoFrame* in);
    // Into picture_: a writable copy of source in a format the cue can be drawn on.
    void Prepare(const AVFrame& source);

    Owned<IImageConverter> scaler_;
    std::unique_ptr<PictureSubtitleTrack> track_;
    int64_t timeOffset_;
    SystemBased::FramePtr picture_;
    CVideoFrame drawn_;
    struct SwsContextDeleter {
        void operator()(::SwsContext* context) const;
    };
    // For pictures DrawCue cannot take as they are.
    std::unique_ptr<::SwsContext, SwsContextDeleter> convert_;
};

}  // namespace MediaBased
