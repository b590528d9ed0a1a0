// Start times, durations and the discontinuity rule for decoded frames. Times are in units of
// 100 ns; a jump of five frame durations or more against the previous frame is a discontinuity.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace MediaBased {

constexpr int64_t kTimeUnitsPerSecond = 10000000;
constexpr int64_t kDiscontinuityFrames = 5;

// One picture's duration. The decoder's own frame rate is trusted only between 1/120 s and 1 s;
// outside that the stream's real base frame rate decides. 0 when neither is known.
int64_t VideoFrameDuration(AVRational decoderFrameRate, AVRational realBaseFrameRate);

// samples / rate seconds, truncated; 0 for an unknown rate.
int64_t AudioFrameDuration(int64_t samples, int sampleRate);

struct FrameTiming {
    int64_t start;
    int64_t end;
    bool discontinuity;
};

// Times of the next frame of a stream. timestamp is the frame's presentation time in the stream
// time base (AV_NOPTS_VALUE when it has none, in which case it follows the previous frame and
// keeps its discontinuity flag); startOffset is the container's start time in 100 ns units.
FrameTiming NextFrameTiming(int64_t timestamp, AVRational timeBase, int64_t startOffset,
                            int64_t previousStart, bool previousDiscontinuity, int64_t duration);

// The container's start time (microseconds) in 100 ns units; 0 when unknown.
int64_t StartOffsetOf(int64_t containerStartTime);

}  // namespace MediaBased
