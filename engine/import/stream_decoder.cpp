#include "import/stream_decoder.h"

#include <new>

#include "filters/channel_layouts.h"
#include "import/frame_timing.h"
#include "object/media_formats.h"
#include "system/feeding_priority.h"
#include "system/module_logger.h"
#include "system/thread_budget.h"

namespace MediaBased {
namespace {

#if defined(__SANITIZE_THREAD__)
// FFmpeg's frame threads hand buffers over with atomics in uninstrumented libavcodec, which
// ThreadSanitizer cannot see: every picture would read as a race. Its builds decode on the
// calling thread, so what it checks is this engine's own threading.
constexpr bool kFrameThreadsAllowed = false;
#else
constexpr bool kFrameThreadsAllowed = true;
#endif

// Codecs without a field flag of their own (huffyuv, utvideo, ...) decode interlaced pictures
// as progressive ones; the container's field order is then all that says otherwise. Files
// written by FFmpeg mark woven top-field-first pictures TB, bottom-field-first ones BT.
void MarkFieldOrder(AVFrame& picture, AVFieldOrder order) {
    const bool topFirst = order == AV_FIELD_TT || order == AV_FIELD_TB;
    const bool bottomFirst = order == AV_FIELD_BB || order == AV_FIELD_BT;
    if (picture.interlaced_frame || !(topFirst || bottomFirst))
        return;
    picture.interlaced_frame = 1;
    picture.top_field_first = topFirst;
}

}  // namespace

StreamDecoder::StreamDecoder(const AVStream& stream, int64_t startOffset)
    : parameters_(avcodec_parameters_alloc()),
      type_(stream.codecpar->codec_type),
      timeBase_(stream.time_base),
      realBaseFrameRate_(stream.r_frame_rate),
      startOffset_(startOffset),
      decoded_(av_frame_alloc()) {
    if (!parameters_ || !decoded_ || avcodec_parameters_copy(parameters_.get(), stream.codecpar) < 0)
        throw std::bad_alloc();
    Open();
}

StreamDecoder::~StreamDecoder() = default;

// The new decoder replaces the old one only once it is open, so a failed re-open keeps a usable
// decoder in place.
void StreamDecoder::Open() {
    const AVCodec* codec = avcodec_find_decoder(parameters_->codec_id);
    SystemBased::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (codec == nullptr || !context ||
        avcodec_parameters_to_context(context.get(), parameters_.get()) < 0)
        SystemBased::ReportError("avcodec_open error.", "301");
    // Lets the decoder derive best-effort presentation times in the stream's own time base.
    context->pkt_timebase = timeBase_;
    // Pictures decode on threads of their own, so the task's thread only takes them; frame
    // threads add a few pictures of delay, which draining at the end hands out.
    if (type_ == AVMEDIA_TYPE_VIDEO) {
        context->thread_count = kFrameThreadsAllowed ? SystemBased::ThreadBudget() : 1;
        context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    int opened = 0;
    const auto open = [&] { opened = avcodec_open2(context.get(), codec, nullptr); };
    // The decoder's threads start inside the open and keep the priority of the thread that
    // started them: they decode below the encoder they feed.
    if (type_ == AVMEDIA_TYPE_VIDEO && context->thread_count != 1)
        SystemBased::RunAtFeedingPriority("vt-decoder", open);
    else
        open();
    if (opened < 0)
        SystemBased::ReportError("avcodec_open error.", "301");
    context_ = std::move(context);
    holdsInput_ = false;
}

StreamDecoder::SendResult StreamDecoder::Send(const AVPacket& packet) {
    const int result = avcodec_send_packet(context_.get(), &packet);
    if (result == AVERROR(EAGAIN))
        return SendResult::Busy;
    if (result < 0)
        return SendResult::Rejected;
    holdsInput_ = true;
    return SendResult::Accepted;
}

bool StreamDecoder::StartDrain() {
    if (!holdsInput_)
        return false;
    holdsInput_ = false;
    return avcodec_send_packet(context_.get(), nullptr) >= 0;
}

void StreamDecoder::Flush(bool reopen) {
    avcodec_flush_buffers(context_.get());
    holdsInput_ = false;
    if (reopen)
        Open();
}

IMediaFrame* StreamDecoder::Receive() {
    // Errors, a decoder that wants input and a drained decoder all mean: no frame now.
    if (avcodec_receive_frame(context_.get(), decoded_.get()) < 0)
        return nullptr;
    IMediaFrame* frame = type_ == AVMEDIA_TYPE_VIDEO ? TakeVideo(*decoded_) : TakeAudio(*decoded_);
    av_frame_unref(decoded_.get());
    return frame;
}

IMediaFrame* StreamDecoder::TakeVideo(AVFrame& decoded) {
    MarkFieldOrder(decoded, parameters_->field_order);
    if (!video_) {
        // Made at the first picture and kept; it reports the picture it holds, so a stream
        // that changes size or format mid-way needs no new one.
        video_ = std::make_unique<CVideoFrame>(FindPixelFormatByFfmpeg(decoded.format).id,
                                               decoded.width, decoded.height,
                                               decoded.linesize[0] > 0);
        video_->SetTimes(0, 0);
    }
    video_->Attach(&decoded);
    int64_t previousStart = 0;
    video_->GetTimes(&previousStart, nullptr);
    const int64_t duration = VideoFrameDuration(context_->framerate, realBaseFrameRate_);
    // Matroska stores presentation times only; reordered pictures have no usable decoding time.
    const FrameTiming timing =
        NextFrameTiming(decoded.best_effort_timestamp, timeBase_, startOffset_, previousStart,
                        video_->IsDiscontinuity(), duration);
    video_->SetTimes(timing.start, timing.end);
    video_->SetDiscontinuity(timing.discontinuity);
    video_->SetKeyFrame(decoded.key_frame != 0);
    video_->SetInterlaced(decoded.interlaced_frame != 0);
    return video_.get();
}

IMediaFrame* StreamDecoder::TakeAudio(const AVFrame& decoded) {
    const int32_t sampleFormat = SampleFormatFromFfmpeg(decoded.format);
    const int32_t channels = decoded.ch_layout.nb_channels;
    if (audio_ && (audio_->GetSampleFormat() != sampleFormat ||
                   audio_->GetSampleRate() != decoded.sample_rate ||
                   audio_->GetChannels() != channels)) {
        int64_t start = 0;
        int64_t end = 0;
        audio_->GetTimes(&start, &end);
        audio_ = std::make_unique<CAudioFrame>(sampleFormat, true, decoded.sample_rate, channels,
                                               NativeLayoutMask(decoded.ch_layout));
        audio_->SetTimes(start, end);
    } else if (!audio_) {
        audio_ = std::make_unique<CAudioFrame>(sampleFormat, true, decoded.sample_rate, channels,
                                               NativeLayoutMask(decoded.ch_layout));
        audio_->SetTimes(0, 0);
    }
    audio_->Attach(&decoded);
    audio_->SetKeyFrame(decoded.key_frame != 0);
    int64_t previousStart = 0;
    audio_->GetTimes(&previousStart, nullptr);
    const int64_t duration = AudioFrameDuration(decoded.nb_samples, decoded.sample_rate);
    const FrameTiming timing =
        NextFrameTiming(decoded.best_effort_timestamp, timeBase_, startOffset_, previousStart,
                        audio_->IsDiscontinuity(), duration);
    audio_->SetTimes(timing.start, timing.end);
    audio_->SetDiscontinuity(timing.discontinuity);
    return audio_.get();
}

}  // namespace MediaBased
