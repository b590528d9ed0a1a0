// A profile's size and rate are maxima: what fits stays, what does not shrinks to fit.
#include "picture_rules.h"

#include <gtest/gtest.h>

TEST(PictureRules, SizesAreMaximaKeepingTheShownShapeWithoutEnlarging) {
    EXPECT_EQ(fitPicture(320, 180, 16.0 / 9, 1280, 720), (PictureSize{320, 180})) << "never enlarged";
    EXPECT_EQ(fitPicture(1280, 720, 16.0 / 9, 1280, 720), (PictureSize{1280, 720}));
    EXPECT_EQ(fitPicture(1920, 1080, 16.0 / 9, 1280, 720), (PictureSize{1280, 720}));
    EXPECT_EQ(fitPicture(3840, 2160, 0.0, 1920, 1080), (PictureSize{1920, 1080}));
    // Anamorphic HDV: 1440 stored pixels shown 1920 wide become square pixels of that shape.
    EXPECT_EQ(fitPicture(1440, 1080, 16.0 / 9, 1280, 720), (PictureSize{1280, 720}));
    // A 4:3 picture with no stored shape has square pixels: it keeps 4:3 in a 16:9 box.
    EXPECT_EQ(fitPicture(1024, 768, 0.0, 1280, 720), (PictureSize{960, 720}));
    EXPECT_EQ(fitPicture(640, 480, 0.0, 1280, 720), (PictureSize{640, 480}));
    // A portrait picture is bounded by the box's height.
    EXPECT_EQ(fitPicture(1080, 1920, 0.0, 1280, 720), (PictureSize{406, 720}));
    // A wide picture in a 4:3 box (DVD-sized profile) is bounded by the width.
    EXPECT_EQ(fitPicture(1920, 800, 2.4, 640, 480), (PictureSize{640, 266}));
    // One side bounded only (a device that states a height): the other follows the shape.
    EXPECT_EQ(fitPicture(1920, 1080, 16.0 / 9, 0, 720), (PictureSize{1280, 720}));
}

TEST(PictureRules, OddSizesBecomeEvenAndStayInsideTheBox) {
    EXPECT_EQ(fitPicture(321, 181, 0.0, 1280, 720), (PictureSize{320, 180})) << "rounded down, not up";
    EXPECT_EQ(fitPicture(1919, 1079, 0.0, 1280, 720), (PictureSize{1280, 720}));
    // An odd box: the even size below it.
    const PictureSize odd = fitPicture(1920, 1080, 16.0 / 9, 853, 480);
    EXPECT_EQ(odd.height, 480);
    EXPECT_EQ(odd.width, 852);
    for (const PictureSize& size : {fitPicture(1001, 999, 1.7, 500, 301), fitPicture(3, 3, 0.0, 2, 2)}) {
        EXPECT_EQ(size.width % 2, 0);
        EXPECT_EQ(size.height % 2, 0);
        EXPECT_GE(size.width, 2);
        EXPECT_GE(size.height, 2);
    }
}

TEST(PictureRules, RatesAboveTheMaximumAreHalvedWhenThatFitsElseCapped) {
    const FrameTime film{1001, 24000};
    EXPECT_EQ(fitFrameRate(film, 30), film) << "23.976 stays exactly 24000/1001";
    EXPECT_EQ(fitFrameRate(film, 23.976), film) << "the profile's rounded rate is the same rate";
    EXPECT_EQ(fitFrameRate(FrameTime{1, 60}, 30), (FrameTime{1, 30}));
    EXPECT_EQ(fitFrameRate(FrameTime{1, 50}, 30), (FrameTime{1, 25}));
    EXPECT_EQ(fitFrameRate(FrameTime{1001, 60000}, 30), (FrameTime{1001, 30000})) << "59.94 gives 29.97";
    EXPECT_EQ(fitFrameRate(FrameTime{1, 120}, 30).framesPerSecond(), 30.0) << "half of 120 is still too fast";
    EXPECT_NEAR(fitFrameRate(FrameTime{1, 25}, 23.976).framesPerSecond(), 23.976, 0.001)
        << "capped, not halved to 12.5";
    EXPECT_EQ(fitFrameRate(FrameTime{1, 60}, 0), (FrameTime{1, 60})) << "no maximum";
    EXPECT_EQ(fitFrameRate(FrameTime{0, 0}, 25).framesPerSecond(), 25.0) << "an unknown rate takes the maximum";
    EXPECT_EQ(frameTimeOf(29.97), (FrameTime{1001, 30000}));
}
