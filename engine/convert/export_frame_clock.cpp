#include "convert/export_frame_clock.h"

namespace MediaBased {

int64_t ConstantRateClock::FramesFor(int64_t pts) {
    if (nextPts_ == kNoTime)
        nextPts_ = pts;
    // A picture covers the slots from the next free one up to its own. Dropping as soon as the
    // output is one slot ahead keeps it within a frame of the source both ways.
    const int64_t lag = pts - nextPts_;
    return lag < 0 ? 0 : lag + 1;
}

}  // namespace MediaBased
