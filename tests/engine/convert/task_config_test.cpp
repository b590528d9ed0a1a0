#include "convert/media_task_config.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "object/media_manager.h"

using namespace MediaBased;

namespace {

Owned<IMediaInfo> Description(IMediaManager& manager, const char* format, const char* codec) {
    Owned<IMediaInfo> info(manager.CreateMediaInfo());
    info->SetFormatName(format);
    StreamRecord record{};
    record.kind = StreamKindVideo;
    record.codecName = const_cast<char*>(codec);
    record.width = 640;
    info->AddStream(&record);
    return info;
}

}  // namespace

TEST(TaskConfig, StartsEmptyAndKeepsSelectionsInOrder) {
    CMediaManager manager;
    Owned<IMediaTaskConfig> config(manager.CreateTaskConfig());
    ASSERT_NE(config, nullptr);
    EXPECT_STREQ(config->GetSourcePath(), "");
    EXPECT_STREQ(config->GetTargetPath(), "");
    EXPECT_EQ(config->GetTargetInfo(), nullptr);
    EXPECT_EQ(config->GetStreamSelectionCount(), 0);
    EXPECT_EQ(config->GetStreamSelection(0), nullptr);
    EXPECT_EQ(config->ReservedQuery(nullptr), nullptr);
    EXPECT_EQ(config->NamedParameter("R_MediaSourceParamHasAV", ""), 0);

    const StreamSelection video{3, 0}, audio{1, 1};
    config->AddStreamSelection(&video);
    config->AddStreamSelection(&audio);
    config->AddStreamSelection(nullptr);
    ASSERT_EQ(config->GetStreamSelectionCount(), 2);
    EXPECT_EQ(config->GetStreamSelection(0)->streamIndex, 3);
    EXPECT_EQ(config->GetStreamSelection(1)->streamIndex, 1);
    EXPECT_EQ(config->GetStreamSelection(1)->passThrough, 1);
    EXPECT_EQ(config->GetStreamSelection(2), nullptr) << "index == count";

    config->SetSourcePath("/in/Überraschung.mkv");
    config->SetSourcePath(nullptr);
    EXPECT_STREQ(config->GetSourcePath(), "/in/Überraschung.mkv") << "null paths are ignored";
    EXPECT_EQ(config->SetTargetInfo(nullptr), nullptr);
}

TEST(TaskConfig, HoldsItsOwnDescriptionAndClonesShareNothing) {
    CMediaManager manager;
    Owned<IMediaTaskConfig> config(manager.CreateTaskConfig());
    Owned<IMediaTaskConfig> bare(config->Clone());
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->GetTargetInfo(), nullptr) << "no description clones into none";
    EXPECT_EQ(bare->GetStreamSelectionCount(), 0);

    Owned<IMediaInfo> first = Description(manager, "avi", "mpeg4");
    IMediaInfo* stored = config->SetTargetInfo(first.get());
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, first.get());
    EXPECT_EQ(stored, config->GetTargetInfo());
    Owned<IMediaInfo> second = Description(manager, "mp4", "h264");
    config->SetTargetInfo(second.get());
    first.reset();
    second->SetFormatName("changed");
    second->GetStreamInfo(0)->GetRecord()->width = 1;
    second.reset();
    EXPECT_STREQ(config->GetTargetInfo()->GetFormatName(), "mp4") << "only the second is kept";
    ASSERT_EQ(config->GetTargetInfo()->GetStreamCount(), 1);
    EXPECT_STREQ(config->GetTargetInfo()->GetStreamRecord(0)->codecName, "h264");
    EXPECT_EQ(config->GetTargetInfo()->GetStreamRecord(0)->width, 640);

    const StreamSelection selection{0, 0};
    config->AddStreamSelection(&selection);
    config->SetSourcePath("in.mkv");
    config->SetTargetPath("out.mp4");
    Owned<IMediaTaskConfig> copy(config->Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetTargetInfo(), config->GetTargetInfo());
    config->SetSourcePath("other.mkv");
    config->AddStreamSelection(&selection);
    config->GetTargetInfo()->SetFormatName("avi");
    config.reset();
    EXPECT_STREQ(copy->GetSourcePath(), "in.mkv");
    EXPECT_STREQ(copy->GetTargetPath(), "out.mp4");
    EXPECT_EQ(copy->GetStreamSelectionCount(), 1);
    EXPECT_STREQ(copy->GetTargetInfo()->GetFormatName(), "mp4");
    EXPECT_STREQ(copy->GetTargetInfo()->GetStreamRecord(0)->codecName, "h264");
}
