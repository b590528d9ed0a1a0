// Scales a decoded picture to one fixed pixel format and size through a
// buffer -> [bwdif,][tone map,][overlay,]scale,format[,pad,setsar][,vflip] -> buffersink graph.
// On request it deinterlaces the pictures flagged interlaced, tone-maps HDR pictures, draws on
// them at their own size (burned-in subtitles), keeps the picture's shape inside the size with
// black bars, and turns the picture upside down.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "filters/filter_chain.h"
#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CImageConverter final : public IImageConverter {
public:
    static constexpr uint32_t kFlipVertically = ImageFlipVertically;
    static constexpr const char* kDisplayAspectParameter = "W_ImageConverterParamDisplayAspect";
    // Read-only: how many pictures the converter holds back (the deinterlacer's look-ahead).
    static constexpr const char* kHeldPicturesParameter = "R_ImageConverterParamHeldPictures";

    // Throws std::invalid_argument for a pixel format outside the engine's table or an empty
    // size: no graph could ever deliver such a picture.
    CImageConverter(int32_t pixelFormat, int32_t width, int32_t height, uint32_t flags);
    ~CImageConverter() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    // Takes kDisplayAspectParameter as a decimal width / height greater than 0 and returns 1;
    // 0 for a value that does not parse and for any other name. kHeldPicturesParameter answers
    // the number of pictures held back. Read when the next graph is
    // built, so it belongs before the first Convert.
    intptr_t NamedParameter(const char* name, const char* value) override;
    void Release() override;

    IVideoFrame* Convert(IVideoFrame* in) override;
    void EndOfStream() override;

    // Engine-internal: filter draws on every picture before it is scaled, seeing the picture
    // times moved by timeOffset (engine units), e.g. back onto the source's own time line.
    // Tries the filter at once: false, leaving the converter as it was, when it cannot be set
    // up; *error then says why.
    bool SetOverlay(const std::string& filter, int64_t timeOffset, std::string* error);

    // Engine-internal: filter turns every picture into the one to scale (HDR into SDR), after
    // deinterlacing and before anything is drawn. Tried at once on a 10-bit picture: false,
    // leaving the converter as it was, when it cannot be set up; *error then says why.
    bool SetToneMapping(const std::string& filter, std::string* error);

    int graphBuildCount() const { return graphBuildCount_; }
    // The current graph deinterlaces; it does so from the stream's first interlaced picture on.
    bool deinterlacing() const { return deinterlacing_; }

private:
    // Whether filter builds on pictures of the target size in format; error says why not.
    bool FilterOpens(const std::string& filter, AVPixelFormat format, std::string* error) const;
    // What the graph's source was told about the pictures it receives.
    struct PictureShape {
        int format = AV_PIX_FMT_NONE;
        int width = 0;
        int height = 0;
        int sarNum = 0;
        int sarDen = 1;
        bool operator==(const PictureShape&) const = default;
    };

    // What the caller's frame said about a picture in the graph; the filtered picture carries
    // none of it but its time.
    struct PendingPicture {
        int64_t start = 0;
        int64_t end = 0;
        bool keyFrame = false;
        bool discontinuity = false;
        bool extraFlag = false;
    };

    static PictureShape ShapeOf(const AVFrame& picture);
    double DisplayAspectFor(const PictureShape& input) const;
    bool NeedsDeinterlacing(IVideoFrame* in, const AVFrame& native) const;
    bool AlreadyTarget(IVideoFrame* in, const AVFrame& native) const;
    std::string DescriptionFor(const PictureShape& input, bool deinterlace) const;
    bool EnsureGraphFor(const PictureShape& input, bool deinterlace);
    void CloseGraph();
    bool Push(IVideoFrame* in, const AVFrame& native);
    bool PullFiltered(AVFrame* picture);
    PendingPicture TakePending(int64_t start);
    IVideoFrame* NextPicture();

    CVideoFrame outputFrame_;
    int32_t targetFfmpegFormat_;
    int32_t targetFormat_;
    int32_t targetWidth_;
    int32_t targetHeight_;
    uint32_t flags_;
    double displayAspect_ = 0;  // 0: the picture's own
    std::string toneMap_;           // empty: pictures keep their dynamic range
    std::string overlay_;           // empty: nothing is drawn
    int64_t overlayTimeOffset_ = 0;
    PictureShape lastInput_;
    FilterChain chain_;
    AVRational sinkTimeBase_{1, 1};
    SystemBased::FramePtr inputFrame_;
    SystemBased::FramePtr scratchFrame_;
    std::deque<PendingPicture> pending_;            // sent into a graph, not handed out yet
    std::deque<SystemBased::FramePtr> closedOut_;  // filtered by a graph closed since
    int graphBuildCount_ = 0;
    bool deinterlacing_ = false;
    bool inputEnded_ = false;  // the graph was told the input ended; the next input rebuilds it
};

}  // namespace MediaBased
