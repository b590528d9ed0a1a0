// Keeps exported video at a constant frame rate by dropping and repeating pictures.
#pragma once

#include <cstdint>

namespace MediaBased {

class ConstantRateClock {
public:
    // ticksPerSecond: the rate of the encoder time base. startAtZero: the output begins at time
    // 0 whatever the first picture's time, repeating that picture to fill the gap, for
    // containers that cannot store a stream's start.
    void Configure(double ticksPerSecond, bool startAtZero);

    // The output frame the next encoded picture gets, in ticks of the encoder time base; the
    // no-time value until the first picture arrives.
    int64_t nextPts() const { return nextPts_; }

    // How many output frames the picture presented at pts fills: 0 when its slot is already
    // taken (the output runs ahead), more than 1 when the output lags behind it. The first
    // picture sets the clock. A jump of more than a second either way is a break in the
    // source's times, not a gap to fill: the output carries on from where it is.
    int64_t FramesFor(int64_t pts);

    void Advance() { ++nextPts_; }

private:
    static constexpr int64_t kNoTime = INT64_MIN;
    int64_t nextPts_ = kNoTime;
    int64_t shift_ = 0;          // sum of the breaks skipped so far
    int64_t maxJump_ = INT64_MAX;  // one second in ticks
    int64_t maxLead_ = 0;          // the longest start gap filled, in ticks
    bool startAtZero_ = false;
};

}  // namespace MediaBased
