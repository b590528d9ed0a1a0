#include "convert/export_frame_clock.h"

#include <cmath>

namespace MediaBased {
namespace {

// A source whose first picture comes later than this has lost its timeline rather than
// starting late on purpose.
constexpr double kLongestStartGapSeconds = 30.0;

}  // namespace

void ConstantRateClock::Configure(double ticksPerSecond, bool startAtZero) {
    if (ticksPerSecond > 0.0) {
        maxJump_ = static_cast<int64_t>(std::ceil(ticksPerSecond));
        maxLead_ = static_cast<int64_t>(std::ceil(ticksPerSecond * kLongestStartGapSeconds));
    }
    startAtZero_ = startAtZero;
}

int64_t ConstantRateClock::FramesFor(int64_t pts) {
    if (nextPts_ == kNoTime)
        nextPts_ = startAtZero_ && pts > 0 && pts <= maxLead_ ? 0 : pts;
    // A picture covers the slots from the next free one up to its own. Dropping as soon as the
    // output is one slot ahead keeps it within a frame of the source both ways.
    int64_t lag = pts - shift_ - nextPts_;
    if (lag > maxJump_ || lag < -maxJump_) {
        shift_ += lag;
        lag = 0;
    }
    return lag < 0 ? 0 : lag + 1;
}

}  // namespace MediaBased
