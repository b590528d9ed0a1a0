// Scales a decoded picture to one fixed pixel format and size, optionally flipping it upside
// down, through a buffer -> scale,format[,vflip] -> buffersink graph.
#pragma once

#include <cstdint>
#include <string>

#include "filters/filter_chain.h"
#include "object/media_frame.h"
#include "system/ffmpeg_handles.h"
#include "vantrel/interfaces.h"

namespace MediaBased {

class CImageConverter final : public IImageConverter {
public:
    static constexpr uint32_t kFlipVertically = 1;

    // Throws std::invalid_argument for a pixel format outside the engine's table or an empty
    // size: no graph could ever deliver such a picture.
    CImageConverter(int32_t pixelFormat, int32_t width, int32_t height, uint32_t flags);
    ~CImageConverter() = default;

    void* ReservedQuery(void*) override { return nullptr; }
    intptr_t NamedParameter(const char*, const char*) override { return 0; }
    void Release() override;

    IVideoFrame* Convert(IVideoFrame* in) override;
    void EndOfStream() override;

    int graphBuildCount() const { return graphBuildCount_; }

private:
    // What the graph's source was told about the pictures it receives.
    struct PictureShape {
        int format = AV_PIX_FMT_NONE;
        int width = 0;
        int height = 0;
        bool operator==(const PictureShape&) const = default;
    };

    static PictureShape ShapeOf(const AVFrame& picture);
    bool AlreadyTarget(IVideoFrame* in, const AVFrame* native);
    bool EnsureGraphFor(const PictureShape& input);
    bool TakeFilteredPicture();
    IVideoFrame* Drain();

    CVideoFrame outputFrame_;
    int32_t targetFfmpegFormat_;
    int32_t targetFormat_;
    int32_t targetWidth_;
    int32_t targetHeight_;
    uint32_t flags_;
    PictureShape lastInput_;
    std::string filterDescription_;
    FilterChain chain_;
    SystemBased::FramePtr scratchFrame_;
    int graphBuildCount_ = 0;
    bool inputEnded_ = false;  // the graph was told the input ended; the next input rebuilds it
};

}  // namespace MediaBased
