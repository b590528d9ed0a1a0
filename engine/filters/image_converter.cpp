#include "filters/image_converter.h"

#include <algorithm>
#include <boost/format.hpp>
#include <cstring>
#include <new>
#include <stdexcept>

#include "filters/picture_fit.h"
#include "import/frame_timing.h"
#include "object/media_formats.h"
#include "system/thread_budget.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace MediaBased {
namespace {

// Pictures travel through the graph with their start times in the engine's unit, so the
// filtered picture's own time says where it came from.
constexpr AVRational kEngineTimeBase{1, static_cast<int>(kTimeUnitsPerSecond)};

// Scaling a large picture costs the converting thread more than anything else it does: the
// task's thread budget shares it out in slices (the result is the same, bit for bit). Small
// pictures are not worth waking threads for.
int ThreadsFor(int width, int height) {
    constexpr int kThreadedPixels = 1280 * 720;
    return width * height >= kThreadedPixels ? SystemBased::ThreadBudget() : 1;
}

// One picture out per picture in; pictures not flagged interlaced pass untouched.
constexpr const char* kDeinterlacer = "bwdif=mode=send_frame:parity=auto:deint=interlaced";

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

// YUV formats other than the full-range (yuvj) ones hold limited-range pictures once scaled.
bool IsLimitedRangeYuv(int32_t format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    if (descriptor == nullptr || (descriptor->flags & AV_PIX_FMT_FLAG_RGB) || descriptor->nb_components < 3)
        return false;
    return format != AV_PIX_FMT_YUVJ420P && format != AV_PIX_FMT_YUVJ422P &&
           format != AV_PIX_FMT_YUVJ444P && format != AV_PIX_FMT_YUVJ440P &&
           format != AV_PIX_FMT_YUVJ411P;
}

}  // namespace

CImageConverter::CImageConverter(int32_t pixelFormat, int32_t width, int32_t height, uint32_t flags)
    : outputFrame_(pixelFormat, width, height, true),
      targetFfmpegFormat_(TargetFfmpegFormat(pixelFormat, width, height)),
      targetFormat_(pixelFormat),
      targetWidth_(width),
      targetHeight_(height),
      flags_(flags),
      inputFrame_(av_frame_alloc()),
      scratchFrame_(av_frame_alloc()) {
    if (inputFrame_ == nullptr || scratchFrame_ == nullptr)
        throw std::bad_alloc();
}

void CImageConverter::Release() {
    delete this;
}

intptr_t CImageConverter::NamedParameter(const char* name, const char* value) {
    if (name == nullptr)
        return 0;
    if (std::strcmp(name, kHeldPicturesParameter) == 0)
        return static_cast<intptr_t>(pending_.size() + closedOut_.size());
    if (std::strcmp(name, kDisplayAspectParameter) != 0)
        return 0;
    return ParseDisplayAspect(value, &displayAspect_) ? 1 : 0;
}

bool CImageConverter::FilterOpens(const std::string& filter, AVPixelFormat format, std::string* error) const {
    FilterChain trial;
    const std::string sourceArguments =
        (boost::format("video_size=%1%x%2%:pix_fmt=%3%:time_base=%4%/%5%:sar=1/1") % targetWidth_ %
         targetHeight_ % format % kEngineTimeBase.num % kEngineTimeBase.den)
            .str();
    if (const int result = trial.Build("buffer", sourceArguments, "buffersink", {}, filter); result < 0) {
        if (error != nullptr) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(result, text, sizeof text);
            *error = text;
        }
        return false;
    }
    return true;
}

bool CImageConverter::SetToneMapping(const std::string& filter, std::string* error) {
    if (!FilterOpens(filter, AV_PIX_FMT_YUV420P10LE, error))
        return false;
    CloseGraph();
    toneMap_ = filter;
    return true;
}

bool CImageConverter::SetOverlay(const std::string& filter, int64_t timeOffset, std::string* error) {
    // A filter that cannot open what it draws fails here, once, rather than at every picture.
    if (!FilterOpens(filter, AV_PIX_FMT_YUV420P, error))
        return false;
    CloseGraph();  // the next picture builds a graph with the filter in it
    overlay_ = filter;
    overlayTimeOffset_ = timeOffset;
    return true;
}

CImageConverter::PictureShape CImageConverter::ShapeOf(const AVFrame& picture) {
    const AVRational sar = picture.sample_aspect_ratio;
    const bool known = sar.num > 0 && sar.den > 0;
    return {picture.format, picture.width, picture.height, known ? sar.num : 0,
            known ? sar.den : 1};
}

double CImageConverter::DisplayAspectFor(const PictureShape& input) const {
    if (displayAspect_ > 0)
        return displayAspect_;
    return DisplayAspectOf(input.width, input.height, input.sarNum, input.sarDen);
}

// bwdif refuses planes of fewer than 3 columns or 4 rows, chroma planes included (a quarter
// of the width and height at most); a picture that small is passed on as it is.
bool CImageConverter::NeedsDeinterlacing(IVideoFrame* in, const AVFrame& native) const {
    return (flags_ & ImageDeinterlace) && (native.interlaced_frame || in->IsInterlaced()) &&
           native.width >= 12 && native.height >= 16;
}

// The decoding source keeps one frame object per stream; the picture it holds decides. A
// picture still to be flipped never matches, nor does one that still has to be letterboxed or
// that would overtake pictures still in the graph (the caller checks those).
bool CImageConverter::AlreadyTarget(IVideoFrame* in, const AVFrame& native) const {
    if ((flags_ & kFlipVertically) || !overlay_.empty() || !toneMap_.empty())
        return false;
    // Full-range pictures become limited-range ones, as the scaled pictures are.
    if (native.color_range == AVCOL_RANGE_JPEG && IsLimitedRangeYuv(targetFfmpegFormat_))
        return false;
    const PictureShape shape = ShapeOf(native);
    if (in->GetPixelFormat() != targetFormat_ || shape.format != targetFfmpegFormat_ ||
        shape.width != targetWidth_ || shape.height != targetHeight_)
        return false;
    if (!(flags_ & ImageFitAndPad))
        return true;
    const PictureBox box = FitPicture(DisplayAspectFor(shape), targetWidth_, targetHeight_);
    const bool squarePixels = shape.sarNum == 0 || shape.sarNum == shape.sarDen;
    return box.width == targetWidth_ && box.height == targetHeight_ && squarePixels;
}

std::string CImageConverter::DescriptionFor(const PictureShape& input, bool deinterlace) const {
    const char* formatName = av_get_pix_fmt_name(static_cast<AVPixelFormat>(targetFfmpegFormat_));
    std::string description = deinterlace ? std::string(kDeinterlacer) + "," : std::string();
    if (!toneMap_.empty())
        description += toneMap_ + ",";
    // Drawn at the picture's own size, so whatever is drawn is scaled with it.
    if (!overlay_.empty())
        description += overlay_ + ",";
    if (flags_ & ImageFitAndPad) {
        const PictureBox box = FitPicture(DisplayAspectFor(input), targetWidth_, targetHeight_);
        description += (boost::format("scale=%1%:%2%,format=%3%") % box.width % box.height %
                        formatName)
                           .str();
        if (box.width != targetWidth_ || box.height != targetHeight_)
            description += (boost::format(",pad=%1%:%2%:%3%:%4%:black") % targetWidth_ %
                            targetHeight_ % box.x % box.y)
                               .str();
        // The container cannot say the pixels are anything but square.
        description += ",setsar=1";
    } else {
        description += (boost::format("scale=%1%:%2%,format=%3%") % targetWidth_ %
                        targetHeight_ % formatName)
                           .str();
    }
    if (flags_ & kFlipVertically)
        description += ",vflip";
    return description;
}

void CImageConverter::EndOfStream() {
    if (!chain_.built() || inputEnded_)
        return;
    if (chain_.Push(nullptr) >= 0)
        inputEnded_ = true;
}

// A graph that is replaced first gives up what it holds, so that no picture is lost and none
// overtakes an older one.
void CImageConverter::CloseGraph() {
    if (!chain_.built())
        return;
    if (!inputEnded_)
        chain_.Push(nullptr);
    for (;;) {
        SystemBased::FramePtr picture(av_frame_alloc());
        if (picture == nullptr)
            throw std::bad_alloc();
        if (!PullFiltered(picture.get()))
            break;
        closedOut_.push_back(std::move(picture));
    }
    chain_.Reset();
    inputEnded_ = false;
}

bool CImageConverter::EnsureGraphFor(const PictureShape& input, bool deinterlace) {
    // Once a stream has shown an interlaced picture, the deinterlacer stays for its rest: it
    // holds a picture back, and taking it out again would reorder the pictures around it.
    // A new stream after EndOfStream starts without it.
    const bool withDeinterlacer = deinterlace || (deinterlacing_ && !inputEnded_);
    if (chain_.built() && !inputEnded_ && input == lastInput_ &&
        withDeinterlacer == deinterlacing_)
        return true;
    CloseGraph();
    lastInput_ = input;
    deinterlacing_ = withDeinterlacer;
    // The source is described by the picture it is about to receive, not by what the engine
    // frame reports, so the two can never disagree inside the graph.
    const std::string sourceArguments =
        (boost::format("video_size=%1%x%2%:pix_fmt=%3%:time_base=%4%/%5%:sar=%6%/%7%") %
         input.width % input.height % input.format % kEngineTimeBase.num % kEngineTimeBase.den %
         input.sarNum % input.sarDen)
            .str();
    const AVPixelFormat accepted[] = {static_cast<AVPixelFormat>(targetFfmpegFormat_),
                                      AV_PIX_FMT_NONE};
    const int result = chain_.Build(
        "buffer", sourceArguments, "buffersink",
        [&accepted](AVFilterContext* sink) {
            return av_opt_set_int_list(sink, "pix_fmts", accepted, AV_PIX_FMT_NONE,
                                       AV_OPT_SEARCH_CHILDREN);
        },
        DescriptionFor(input, withDeinterlacer), ThreadsFor(input.width, input.height));
    if (result < 0) {
        lastInput_ = PictureShape{};  // try again with the next picture
        return false;
    }
    // bwdif doubles the time base; the times are read back in whatever the sink uses.
    sinkTimeBase_ = av_buffersink_get_time_base(chain_.sink());
    ++graphBuildCount_;
    return true;
}

bool CImageConverter::Push(IVideoFrame* in, const AVFrame& native) {
    PendingPicture origin;
    in->GetTimes(&origin.start, &origin.end);
    origin.keyFrame = in->IsKeyFrame();
    origin.discontinuity = in->IsDiscontinuity();
    origin.extraFlag = in->GetExtraFlag();

    AVFrame* input = inputFrame_.get();
    if (av_frame_ref(input, &native) < 0)
        throw std::bad_alloc();
    const SystemBased::ScopedFrameUnref unreference{input};
    input->pts = origin.start + overlayTimeOffset_;
    // The deinterlacer reads FFmpeg's flag only; the engine frame's counts as much.
    if (in->IsInterlaced())
        input->interlaced_frame = 1;
    if (chain_.Push(input) < 0)
        return false;
    pending_.push_back(origin);
    return true;
}

// A filtered picture with its start time in the engine's unit; false when the graph has none
// ready. Once the graph has given up everything, only the pictures already taken from it are
// still to come: whatever else is pending was dropped inside.
bool CImageConverter::PullFiltered(AVFrame* picture) {
    const int result = chain_.Pull(picture);
    if (result == AVERROR_EOF)
        pending_.resize(std::min(pending_.size(), closedOut_.size()));
    if (result < 0)
        return false;
    if (picture->pts != AV_NOPTS_VALUE)
        picture->pts = av_rescale_q(picture->pts, sinkTimeBase_, kEngineTimeBase) - overlayTimeOffset_;
    return true;
}

// The caller's details of the picture that started at start. Pictures are handed out in the
// order they came in, so any older ones still waiting were dropped by the graph.
CImageConverter::PendingPicture CImageConverter::TakePending(int64_t start) {
    auto origin = std::find_if(pending_.begin(), pending_.end(),
                               [start](const PendingPicture& p) { return p.start == start; });
    if (origin == pending_.end())
        origin = pending_.begin();
    if (origin == pending_.end())
        return PendingPicture{start, start, false, false, false};
    const PendingPicture taken = *origin;
    pending_.erase(pending_.begin(), origin + 1);
    return taken;
}

IVideoFrame* CImageConverter::NextPicture() {
    AVFrame* picture = scratchFrame_.get();
    if (!closedOut_.empty()) {
        av_frame_move_ref(picture, closedOut_.front().get());
        closedOut_.pop_front();
    } else if (!chain_.built() || !PullFiltered(picture)) {
        return nullptr;
    }
    const SystemBased::ScopedFrameUnref unreference{picture};
    MakeTopDown(picture);
    outputFrame_.Attach(picture);
    const PendingPicture origin = TakePending(picture->pts);
    const int64_t start = picture->pts != AV_NOPTS_VALUE ? picture->pts : origin.start;
    outputFrame_.SetTimes(start, start + (origin.end - origin.start));
    outputFrame_.SetKeyFrame(origin.keyFrame);
    outputFrame_.SetDiscontinuity(origin.discontinuity);
    outputFrame_.SetExtraFlag(origin.extraFlag);
    outputFrame_.SetInterlaced(picture->interlaced_frame != 0);
    return &outputFrame_;
}

IVideoFrame* CImageConverter::Convert(IVideoFrame* in) {
    try {
        if (in == nullptr)
            return NextPicture();
        const AVFrame* native = HeldFrameOf(in);
        if (native == nullptr)
            return nullptr;
        const bool deinterlace = NeedsDeinterlacing(in, *native);
        if (pending_.empty() && !deinterlace && AlreadyTarget(in, *native))
            return in;
        if (!EnsureGraphFor(ShapeOf(*native), deinterlace) || !Push(in, *native))
            return nullptr;
        return NextPicture();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace MediaBased
