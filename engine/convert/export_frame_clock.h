// Keeps exported video at a constant frame rate by dropping and repeating pictures.
#pragma once

#include <cstdint>

namespace MediaBased {

class ConstantRateClock {
public:
    // The output frame the next encoded picture gets, in ticks of the encoder time base; the
    // no-time value until the first picture arrives.
    int64_t nextPts() const { return nextPts_; }

    // How many output frames the picture presented at pts fills: 0 when its slot is already
    // taken (the output runs ahead), more than 1 when the output lags behind it. The first
    // picture sets the clock.
    int64_t FramesFor(int64_t pts);

    void Advance() { ++nextPts_; }

private:
    int64_t nextPts_ = kNoTime;
    static constexpr int64_t kNoTime = INT64_MIN;
};

}  // namespace MediaBased
