// The import path as a client of the shared library sees it.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_support.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

TEST(ImportLibrary, FailedOpenIsLoggedThroughTheLibrarysOwnLogger) {
    Owned<IMediaManager> manager(CreateMediaManager());
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->OpenImporter(TestMedia("not there.mkv").c_str()), nullptr);
    // Only there when the library bound its logger to itself as it was loaded.
    const std::string log = GetSystemLogger()->GetText();
    EXPECT_NE(log.find("],av_open_input_file error.,147\n"), std::string::npos) << log;
}

TEST(ImportLibrary, FramesOfTheWrapperSourceCanOutliveIt) {
    Owned<IMediaManager> manager(CreateMediaManager());
    Owned<IMediaSourceEx> source(manager->CreateMediaSource(TestMedia("h264_aac.mkv").c_str()));
    ASSERT_NE(source, nullptr);
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    ASSERT_TRUE(source->ReadFrame(&frame, &slot, nullptr));
    Owned<IMediaFrame> copy(frame->Clone());
    source.reset();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetKind(), slot == 0 ? FrameKindVideo : FrameKindAudio);
}
