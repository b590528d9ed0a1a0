#include "filters/image_converter.h"

#include <boost/format.hpp>
#include <new>
#include <stdexcept>

#include "object/media_formats.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace MediaBased {
namespace {

int32_t TargetFfmpegFormat(int32_t pixelFormat, int32_t width, int32_t height) {
    const int32_t ffmpegFormat = FindPixelFormatById(pixelFormat).ffmpegFormat;
    if (av_get_pix_fmt_name(static_cast<AVPixelFormat>(ffmpegFormat)) == nullptr)
        throw std::invalid_argument("image converter: unknown pixel format");
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("image converter: empty picture size");
    return ffmpegFormat;
}

// When scale has nothing to do, vflip hands the picture on as a view with negative line
// sizes. Consumers copy planes from GetPlane forwards, so such a picture gets rows of its own
// in top-down order.
void MakeTopDown(AVFrame* picture) {
    bool bottomUp = false;
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && picture->data[plane]; ++plane)
        bottomUp = bottomUp || picture->linesize[plane] < 0;
    if (!bottomUp)
        return;
    SystemBased::FramePtr copy(av_frame_alloc());
    if (copy == nullptr)
        throw std::bad_alloc();
    copy->format = picture->format;
    copy->width = picture->width;
    copy->height = picture->height;
    if (av_frame_get_buffer(copy.get(), 0) < 0 || av_frame_copy(copy.get(), picture) < 0 ||
        av_frame_copy_props(copy.get(), picture) < 0)
        throw std::bad_alloc();
    av_frame_unref(picture);
    av_frame_move_ref(picture, copy.get());
}

}  // namespace

CImageConverter::CImageConverter(int32_t pixelFormat, int32_t width, int32_t height, uint32_t flags)
    : outputFrame_(pixelFormat, width, height, true),
      targetFfmpegFormat_(TargetFfmpegFormat(pixelFormat, width, height)),
      targetFormat_(pixelFormat),
      targetWidth_(width),
      targetHeight_(height),
      flags_(flags),
      scratchFrame_(av_frame_alloc()) {
    if (scratchFrame_ == nullptr)
        throw std::bad_alloc();
    const char* formatName = av_get_pix_fmt_name(static_cast<AVPixelFormat>(targetFfmpegFormat_));
    filterDescription_ =
        (boost::format("scale=%1%:%2%,format=%3%") % width % height % formatName).str();
    if (flags_ & kFlipVertically)
        filterDescription_ += ",vflip";
}

void CImageConverter::Release() {
    delete this;
}

CImageConverter::PictureShape CImageConverter::ShapeOf(const AVFrame& picture) {
    return {picture.format, picture.width, picture.height};
}

// The decoding source keeps one frame object per stream and the size and format of its first
// picture, so the picture it holds may have changed since; both must match to skip the graph.
// A picture still to be flipped never matches.
bool CImageConverter::AlreadyTarget(IVideoFrame* in, const AVFrame* native) {
    if (flags_ & kFlipVertically)
        return false;
    int32_t width = 0;
    int32_t height = 0;
    in->GetSize(&width, &height);
    if (in->GetPixelFormat() != targetFormat_ || width != targetWidth_ || height != targetHeight_)
        return false;
    return native == nullptr ||
           ShapeOf(*native) == PictureShape{targetFfmpegFormat_, targetWidth_, targetHeight_};
}

void CImageConverter::EndOfStream() {
    if (!chain_.built() || inputEnded_)
        return;
    if (chain_.Push(nullptr) >= 0)
        inputEnded_ = true;
}

bool CImageConverter::EnsureGraphFor(const PictureShape& input) {
    if (chain_.built() && input == lastInput_ && !inputEnded_)
        return true;
    inputEnded_ = false;
    lastInput_ = input;
    // The source is described by the picture it is about to receive, not by what the engine
    // frame reports, so the two can never disagree inside the graph.
    const std::string sourceArguments =
        (boost::format("video_size=%1%x%2%:pix_fmt=%3%:time_base=24000/1000") % input.width %
         input.height % input.format)
            .str();
    const AVPixelFormat accepted[] = {static_cast<AVPixelFormat>(targetFfmpegFormat_),
                                      AV_PIX_FMT_NONE};
    const int result = chain_.Build(
        "buffer", sourceArguments, "buffersink",
        [&accepted](AVFilterContext* sink) {
            return av_opt_set_int_list(sink, "pix_fmts", accepted, AV_PIX_FMT_NONE,
                                       AV_OPT_SEARCH_CHILDREN);
        },
        filterDescription_);
    if (result < 0) {
        lastInput_ = PictureShape{};  // try again with the next picture
        return false;
    }
    ++graphBuildCount_;
    return true;
}

bool CImageConverter::TakeFilteredPicture() {
    if (chain_.Pull(scratchFrame_.get()) < 0)
        return false;
    const SystemBased::ScopedFrameUnref unreference{scratchFrame_.get()};
    MakeTopDown(scratchFrame_.get());
    outputFrame_.Attach(scratchFrame_.get());
    return true;
}

IVideoFrame* CImageConverter::Drain() {
    if (!chain_.built() || !TakeFilteredPicture())
        return nullptr;
    return &outputFrame_;
}

IVideoFrame* CImageConverter::Convert(IVideoFrame* in) {
    try {
        if (in == nullptr)
            return Drain();
        AVFrame* native = HeldFrameOf(in);
        if (AlreadyTarget(in, native))
            return in;
        if (native == nullptr || !EnsureGraphFor(ShapeOf(*native)))
            return nullptr;
        if (chain_.Push(native) < 0 || !TakeFilteredPicture())
            return nullptr;
        outputFrame_.SetDiscontinuity(in->IsDiscontinuity());
        outputFrame_.SetKeyFrame(in->IsKeyFrame());
        outputFrame_.SetExtraFlag(in->GetExtraFlag());
        int64_t start = 0;
        int64_t end = 0;
        in->GetTimes(&start, &end);
        outputFrame_.SetTimes(start, end);
        return &outputFrame_;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace MediaBased
