// Cuts encoder-ready audio into the frame length an encoder takes and times it by its samples.
#pragma once

#include <cstdint>
#include <deque>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "system/ffmpeg_handles.h"

namespace MediaBased {

// Frames of the right length pass by reference; others are gathered in a FIFO and cut. Every
// frame leaving gets the position of its first sample as pts, counted in samples, so that
// timestamps follow the sound itself. They follow the given start times only where those jump
// by more than a frame (a gap or overlap in the source), which keeps sound and pictures in step,
// and by no more than a second: a larger jump is a break in the source's times, which the
// pictures skip as well.
class ExportAudioFramer {
public:
    // frameSize 0: the encoder takes frames of any length. startAtZero: sound that starts late
    // is preceded by silence from time 0, for containers that cannot store a stream's start.
    ExportAudioFramer(int frameSize, int sampleRate, bool startAtZero = false);
    ExportAudioFramer(const ExportAudioFramer&) = delete;
    ExportAudioFramer& operator=(const ExportAudioFramer&) = delete;
    ~ExportAudioFramer();

    // Queues samples already in the encoder's format. startPts: where the first of them belongs,
    // in samples; AV_NOPTS_VALUE when unknown. Throws bad_alloc.
    void Push(const AVFrame& samples, int64_t startPts);

    // The next frame for the encoder, or null. With flush, a last shorter frame too.
    SystemBased::FramePtr Pull(bool flush);

private:
    SystemBased::FramePtr CutFromFifo(int count, int queued);
    void EnsureFifo(const AVFrame& like, int room);
    void QueueSilence(int64_t count);

    int frameSize_;
    int sampleRate_;
    int64_t nextInputPts_;
    bool startAtZero_;
    std::deque<SystemBased::FramePtr> whole_;  // queued ahead of anything in the FIFO
    SystemBased::AudioFifoPtr fifo_;
    AVSampleFormat fifoFormat_ = AV_SAMPLE_FMT_NONE;
    AVChannelLayout fifoLayout_{};
};

}  // namespace MediaBased
