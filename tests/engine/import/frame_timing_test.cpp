#include "import/frame_timing.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/avutil.h>
}

using namespace MediaBased;

namespace {
constexpr AVRational kMilliseconds{1, 1000};
constexpr int64_t kFrame = 400000;  // 25 frames per second
}  // namespace

TEST(FrameTiming, DurationsOfPicturesAndSoundBlocks) {
    EXPECT_EQ(VideoFrameDuration(AVRational{25, 1}, AVRational{50, 1}), kFrame);
    // Outside 1/120 s to 1 s the decoder's rate gives way to the stream's real base rate.
    EXPECT_EQ(VideoFrameDuration(AVRational{1000, 1}, AVRational{25, 1}), kFrame);
    EXPECT_EQ(VideoFrameDuration(AVRational{1, 1}, AVRational{25, 1}), kFrame);
    EXPECT_EQ(VideoFrameDuration(AVRational{0, 1}, AVRational{30000, 1001}), 333666);
    EXPECT_EQ(VideoFrameDuration(AVRational{0, 0}, AVRational{0, 0}), 0);
    EXPECT_EQ(AudioFrameDuration(1024, 48000), 213333);
    EXPECT_EQ(AudioFrameDuration(1024, 0), 0);
}

TEST(FrameTiming, JumpsOfFiveFramesOrMoreAreDiscontinuities) {
    const FrameTiming next = NextFrameTiming(40, kMilliseconds, 0, 0, true, kFrame);
    EXPECT_EQ(next.start, kFrame);
    EXPECT_EQ(next.end, 2 * kFrame);
    EXPECT_FALSE(next.discontinuity) << "one frame later clears the flag";
    EXPECT_TRUE(NextFrameTiming(400, kMilliseconds, 0, 0, false, kFrame).discontinuity);
    EXPECT_TRUE(NextFrameTiming(200, kMilliseconds, 0, 0, false, kFrame).discontinuity);
    EXPECT_FALSE(NextFrameTiming(160, kMilliseconds, 0, 0, false, kFrame).discontinuity);
    EXPECT_TRUE(NextFrameTiming(0, kMilliseconds, 0, 10 * kFrame, false, kFrame).discontinuity);
}

TEST(FrameTiming, FrameWithoutTimestampFollowsThePreviousOne) {
    const FrameTiming held = NextFrameTiming(AV_NOPTS_VALUE, kMilliseconds, 0, 7 * kFrame, true, kFrame);
    EXPECT_EQ(held.start, 8 * kFrame);
    EXPECT_TRUE(held.discontinuity) << "the flag is left as it was";
    // Times count from the container's start; an unknown start counts as 0.
    EXPECT_EQ(NextFrameTiming(25, kMilliseconds, StartOffsetOf(25000), 0, false, kFrame).start, 0);
    EXPECT_EQ(StartOffsetOf(AV_NOPTS_VALUE), 0);
}
