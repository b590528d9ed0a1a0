// Clients wait on the converter's task changes instead of polling: every start and end is seen.
#include <gtest/gtest.h>

#include <string>

#include "converter_test_support.h"

using namespace MediaBased;
using namespace converter_test;

namespace {

class ConverterEventsTest : public EngineFolderTest {
protected:
    ConverterEventsTest() : EngineFolderTest("vantrel-events") {}
};

}  // namespace

TEST_F(ConverterEventsTest, EveryStartAndEndWakesAWaitingClient) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_NE(converter, nullptr);
    EXPECT_FALSE(converter->WaitForTaskChange(0)) << "nothing has happened yet";
    for (int i = 0; i < 3; ++i) {
        const std::string target = (dir_ / ("out" + std::to_string(i) + ".mkv")).string();
        ASSERT_GT(converter->AddTask(MakeConfig(*manager_, TestMedia("h264_aac.mkv"), target, OutputShape{}).get()), 0);
    }
    converter->SetMaxParallelTasks(1);
    ASSERT_TRUE(converter->Start());

    // One at a time: each wake shows the batch further on, and the last one shows it done.
    int wakes = 0;
    while (converter->GetUnfinishedTaskCount() > 0) {
        ASSERT_TRUE(converter->WaitForTaskChange(60000)) << "a change was missed";
        ++wakes;
        ASSERT_LT(wakes, 100);
    }
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(StateOf(converter.get(), i), TaskFinished);
    EXPECT_GE(wakes, 3);
    EXPECT_LE(wakes, 6) << "three starts and three ends at most";
    EXPECT_FALSE(converter->WaitForTaskChange(10)) << "every change was already seen";

    // A task added to a running batch is taken without another Start.
    const std::string late = (dir_ / "late.mkv").string();
    ASSERT_GT(converter->AddTask(MakeConfig(*manager_, TestMedia("h264_aac.mkv"), late, OutputShape{}).get()), 0);
    while (converter->GetUnfinishedTaskCount() > 0)
        ASSERT_TRUE(converter->WaitForTaskChange(60000));
    EXPECT_EQ(StateOf(converter.get(), 3), TaskFinished);
}
