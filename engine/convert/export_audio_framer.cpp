#include "convert/export_audio_framer.h"

#include <algorithm>
#include <cstdlib>
#include <new>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/samplefmt.h>
}

namespace MediaBased {

using SystemBased::FramePtr;

namespace {

// A source whose sound comes later than this has lost its timeline rather than starting late
// on purpose.
constexpr int64_t kLongestStartGapSeconds = 30;

}  // namespace

ExportAudioFramer::ExportAudioFramer(int frameSize, int sampleRate, bool startAtZero)
    : frameSize_(std::max(frameSize, 0)),
      sampleRate_(sampleRate),
      nextInputPts_(AV_NOPTS_VALUE),
      startAtZero_(startAtZero) {}

ExportAudioFramer::~ExportAudioFramer() {
    av_channel_layout_uninit(&fifoLayout_);
}

void ExportAudioFramer::Push(const AVFrame& samples, int64_t startPts) {
    const int count = samples.nb_samples;
    if (count <= 0)
        return;
    // Start times handed on by the resampler may lag their samples by up to a frame; only
    // larger differences are real jumps in the source.
    const int64_t tolerance = std::max(frameSize_, count) + sampleRate_ / 50;
    if (nextInputPts_ == AV_NOPTS_VALUE) {
        nextInputPts_ = startPts != AV_NOPTS_VALUE ? startPts : 0;
        if (startAtZero_ && nextInputPts_ > 0 &&
            nextInputPts_ <= kLongestStartGapSeconds * sampleRate_) {
            const int64_t gap = nextInputPts_;
            nextInputPts_ = 0;
            EnsureFifo(samples, count);
            QueueSilence(gap);
        } else if (startAtZero_) {
            nextInputPts_ = 0;
        }
    } else if (startPts != AV_NOPTS_VALUE) {
        const int64_t jump = std::llabs(startPts - nextInputPts_);
        if (jump > tolerance && jump <= sampleRate_)
            nextInputPts_ = startPts;
    }

    const int queued = fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
    if (queued == 0 && (frameSize_ == 0 || count == frameSize_)) {
        FramePtr reference(av_frame_clone(&samples));
        if (reference == nullptr)
            throw std::bad_alloc();
        reference->pts = nextInputPts_;
        whole_.push_back(std::move(reference));
    } else {
        EnsureFifo(samples, count);
        void** planes = reinterpret_cast<void**>(samples.extended_data);
        if (av_audio_fifo_write(fifo_.get(), planes, count) < count)
            throw std::bad_alloc();
    }
    nextInputPts_ += count;
}

void ExportAudioFramer::EnsureFifo(const AVFrame& like, int room) {
    if (fifo_ != nullptr)
        return;
    fifoFormat_ = static_cast<AVSampleFormat>(like.format);
    if (av_channel_layout_copy(&fifoLayout_, &like.ch_layout) < 0)
        throw std::bad_alloc();
    fifo_.reset(av_audio_fifo_alloc(fifoFormat_, fifoLayout_.nb_channels,
                                    std::max(room, frameSize_) * 2));
    if (fifo_ == nullptr)
        throw std::bad_alloc();
}

void ExportAudioFramer::QueueSilence(int64_t count) {
    constexpr int kChunk = 4096;
    FramePtr silence(av_frame_alloc());
    if (silence == nullptr)
        throw std::bad_alloc();
    silence->format = fifoFormat_;
    silence->nb_samples = kChunk;
    if (av_channel_layout_copy(&silence->ch_layout, &fifoLayout_) < 0 ||
        av_frame_get_buffer(silence.get(), 0) < 0 ||
        av_samples_set_silence(silence->extended_data, 0, kChunk, fifoLayout_.nb_channels,
                               fifoFormat_) < 0)
        throw std::bad_alloc();
    void** planes = reinterpret_cast<void**>(silence->extended_data);
    for (int64_t left = count; left > 0;) {
        const int chunk = static_cast<int>(std::min<int64_t>(left, kChunk));
        if (av_audio_fifo_write(fifo_.get(), planes, chunk) < chunk)
            throw std::bad_alloc();
        left -= chunk;
    }
    nextInputPts_ += count;
}

FramePtr ExportAudioFramer::Pull(bool flush) {
    if (!whole_.empty()) {
        FramePtr next = std::move(whole_.front());
        whole_.pop_front();
        return next;
    }
    const int queued = fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
    if (queued == 0)
        return nullptr;
    if (queued >= frameSize_)
        return CutFromFifo(frameSize_ > 0 ? frameSize_ : queued, queued);
    return flush ? CutFromFifo(queued, queued) : nullptr;
}

FramePtr ExportAudioFramer::CutFromFifo(int count, int queued) {
    FramePtr frame(av_frame_alloc());
    if (frame == nullptr)
        throw std::bad_alloc();
    frame->nb_samples = count;
    frame->format = fifoFormat_;
    frame->sample_rate = sampleRate_;
    if (av_channel_layout_copy(&frame->ch_layout, &fifoLayout_) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0)
        throw std::bad_alloc();
    frame->pts = nextInputPts_ - queued;
    void** planes = reinterpret_cast<void**>(frame->extended_data);
    if (av_audio_fifo_read(fifo_.get(), planes, count) < count)
        throw std::bad_alloc();
    return frame;
}

}  // namespace MediaBased
