// Each task's share of the engine log: what its worker reported, and nothing another task did.
#include <gtest/gtest.h>

#include <string>

#include "converter_test_support.h"

using namespace MediaBased;
using namespace converter_test;

namespace {

class ConverterTaskLogTest : public EngineFolderTest {
protected:
    ConverterTaskLogTest() : EngineFolderTest("vantrel-task-log") {}
};

}  // namespace

TEST_F(ConverterTaskLogTest, EachTaskHoldsOnlyWhatItsWorkerReported) {
    Owned<IMediaConverter> converter(manager_->CreateConverter());
    ASSERT_NE(converter, nullptr);
    const std::string missing = (dir_ / "no such source.mkv").string();
    const std::string good = TestMedia("h264_aac.mkv");
    for (const std::string& source : {missing, good, missing}) {
        const std::string target = (dir_ / ("out" + std::to_string(converter->GetTaskCount()) + ".mkv")).string();
        ASSERT_GT(converter->AddTask(MakeConfig(*manager_, source, target, OutputShape{}).get()), 0);
    }
    EXPECT_STREQ(converter->GetTaskLog(0), "") << "nothing before the task runs";
    EXPECT_EQ(converter->GetTaskLog(3), nullptr);

    // The client reads the logs while the workers write them.
    converter->SetMaxParallelTasks(2);
    ASSERT_TRUE(converter->Start());
    while (converter->GetUnfinishedTaskCount() > 0) {
        for (uint32_t i = 0; i < 3; ++i)
            ASSERT_NE(converter->GetTaskLog(i), nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const std::string first = converter->GetTaskLog(0);
    EXPECT_NE(first.find("source error: cannot open " + missing), std::string::npos) << first;
    EXPECT_EQ(StateOf(converter.get(), 1), TaskFinished);
    const std::string second = converter->GetTaskLog(1);
    EXPECT_EQ(second.find("source error"), std::string::npos) << "another task's failure: " << second;

    // Indexes follow the list: removing the first task moves the third one's log to 1.
    ASSERT_TRUE(converter->RemoveTask(0));
    EXPECT_NE(std::string(converter->GetTaskLog(1)).find("cannot open"), std::string::npos);
    EXPECT_EQ(std::string(converter->GetTaskLog(0)).find("cannot open"), std::string::npos);
}
