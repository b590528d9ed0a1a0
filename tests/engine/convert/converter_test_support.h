// Shared pieces of the converter tests: task configurations, long inputs, waiting.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

namespace converter_test {

using Clock = std::chrono::steady_clock;

struct OutputShape {
    int width = 320;
    int height = 180;
    const char* container = "matroska";
    const char* videoCodec = "mpeg4";
    int32_t videoBitRate = 600000;
    const char* audioCodec = "mp2";
};

// Streams 0 (video) and 1 (audio) of source to the shape's codecs (MP2 sound unless told),
// video at 25 fps.
inline Owned<MediaBased::IMediaTaskConfig> MakeConfig(MediaBased::IMediaManager& manager,
                                                      const std::string& source,
                                                      const std::string& target,
                                                      const OutputShape& shape) {
    using namespace MediaBased;
    Owned<IMediaTaskConfig> config(manager.CreateTaskConfig());
    Owned<IMediaInfo> info(manager.CreateMediaInfo());
    info->SetFormatName(shape.container);
    std::string video = shape.videoCodec;
    StreamRecord v{};
    v.kind = StreamKindVideo;
    v.codecName = video.data();
    v.width = shape.width;
    v.height = shape.height;
    v.frameTimeNum = 1;
    v.frameTimeDen = 25;
    v.bitRate = shape.videoBitRate;
    v.encode = 1;
    info->AddStream(&v);
    std::string audio = shape.audioCodec;
    StreamRecord a{};
    a.kind = StreamKindAudio;
    a.codecName = audio.data();
    a.sampleRate = 44100;
    a.channels = 2;
    a.bitRate = 128000;
    a.encode = 1;
    info->AddStream(&a);
    config->SetTargetInfo(info.get());
    const StreamSelection videoSelection{0, 0}, audioSelection{1, 0};
    config->AddStreamSelection(&videoSelection);
    config->AddStreamSelection(&audioSelection);
    config->SetSourcePath(source.c_str());
    config->SetTargetPath(target.c_str());
    return config;
}

// A 20 s 640x360 H.264 + AAC input in dir, long enough that a task is still running when a
// test reaches for it.
inline std::string LongInput(const std::filesystem::path& dir) {
    const std::filesystem::path path = dir / "long_input.mkv";
    if (!std::filesystem::exists(path)) {
        const CommandResult r = RunCommand(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=20 "
            "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=20 -c:v libx264 "
            "-preset ultrafast -c:a aac -ac 2 " + ShellQuote(path.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }
    return path.string();
}

// An engine and a fresh folder for each test, named after the suite's prefix and the test.
class EngineFolderTest : public ::testing::Test {
protected:
    explicit EngineFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
        dir_ = std::filesystem::temp_directory_path() /
               (prefix_ + "-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    Owned<MediaBased::IMediaManager> manager_;
    std::filesystem::path dir_;

private:
    std::string prefix_;
};

inline int32_t StateOf(MediaBased::IMediaConverter* converter, uint32_t i) {
    MediaBased::ConvertTask* task = converter->GetTask(i);
    return task ? task->state.load() : -1;
}

// Polls until the converter has no unfinished task, or fails after the limit.
inline void WaitUntilDone(MediaBased::IMediaConverter* converter,
                          std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto deadline = Clock::now() + limit;
    while (converter->GetUnfinishedTaskCount() > 0) {
        ASSERT_LT(Clock::now(), deadline) << "the batch did not finish in time";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace converter_test
