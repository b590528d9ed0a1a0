#include "import/frame_timing.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace MediaBased {
namespace {

bool IsKnown(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

int64_t Magnitude(int64_t value) {
    return value < 0 ? -value : value;
}

}  // namespace

int64_t VideoFrameDuration(AVRational decoderFrameRate, AVRational realBaseFrameRate) {
    double seconds = 0.0;
    if (IsKnown(decoderFrameRate))
        seconds = static_cast<double>(decoderFrameRate.den) / decoderFrameRate.num;
    if (seconds <= 1.0 / 120.0 || seconds >= 1.0) {
        if (!IsKnown(realBaseFrameRate))
            return 0;
        seconds = static_cast<double>(realBaseFrameRate.den) / realBaseFrameRate.num;
    }
    return static_cast<int64_t>(seconds * kTimeUnitsPerSecond);
}

int64_t AudioFrameDuration(int64_t samples, int sampleRate) {
    return sampleRate > 0 ? samples * kTimeUnitsPerSecond / sampleRate : 0;
}

FrameTiming NextFrameTiming(int64_t timestamp, AVRational timeBase, int64_t startOffset,
                            int64_t previousStart, bool previousDiscontinuity, int64_t duration) {
    FrameTiming timing{};
    if (timestamp != AV_NOPTS_VALUE && timeBase.den > 0) {
        timing.start = av_rescale_q(timestamp, timeBase, AVRational{1, 1000000}) * 10 - startOffset;
        timing.discontinuity =
            Magnitude(timing.start - previousStart) >= kDiscontinuityFrames * duration;
    } else {
        timing.start = previousStart + duration;
        timing.discontinuity = previousDiscontinuity;
    }
    timing.end = timing.start + duration;
    return timing;
}

int64_t StartOffsetOf(int64_t containerStartTime) {
    return containerStartTime == AV_NOPTS_VALUE ? 0 : containerStartTime * 10;
}

}  // namespace MediaBased
