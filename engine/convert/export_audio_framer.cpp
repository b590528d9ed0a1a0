#include "convert/export_audio_framer.h"

#include <algorithm>
#include <cstdlib>
#include <new>

extern "C" {
#include <libavutil/avutil.h>
}

namespace MediaBased {

using SystemBased::FramePtr;

ExportAudioFramer::ExportAudioFramer(int frameSize, int sampleRate)
    : frameSize_(std::max(frameSize, 0)), sampleRate_(sampleRate), nextInputPts_(AV_NOPTS_VALUE) {}

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
    if (nextInputPts_ == AV_NOPTS_VALUE)
        nextInputPts_ = startPts != AV_NOPTS_VALUE ? startPts : 0;
    else if (startPts != AV_NOPTS_VALUE && std::llabs(startPts - nextInputPts_) > tolerance)
        nextInputPts_ = startPts;

    const int queued = fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
    if (queued == 0 && (frameSize_ == 0 || count == frameSize_)) {
        FramePtr reference(av_frame_clone(&samples));
        if (reference == nullptr)
            throw std::bad_alloc();
        reference->pts = nextInputPts_;
        whole_.push_back(std::move(reference));
    } else {
        if (fifo_ == nullptr) {
            fifoFormat_ = static_cast<AVSampleFormat>(samples.format);
            if (av_channel_layout_copy(&fifoLayout_, &samples.ch_layout) < 0)
                throw std::bad_alloc();
            fifo_.reset(av_audio_fifo_alloc(fifoFormat_, fifoLayout_.nb_channels,
                                            std::max(count, frameSize_) * 2));
            if (fifo_ == nullptr)
                throw std::bad_alloc();
        }
        void** planes = reinterpret_cast<void**>(samples.extended_data);
        if (av_audio_fifo_write(fifo_.get(), planes, count) < count)
            throw std::bad_alloc();
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
