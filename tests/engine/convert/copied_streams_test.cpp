// Streams copied from the source's packets, alone and beside encoded streams: the packets
// arrive unchanged, the output plays, and copied and encoded streams stay in step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "media_suite_test.h"
#include "copied_streams_support.h"
#include "stream_records.h"

using namespace MediaBased;
using namespace copied;
namespace fs = std::filesystem;

namespace {

constexpr double kVideoFrame = 1.0 / 25;

class CopiedStreams : public MediaSuiteTest<CopiedStreams> {
public:
    static constexpr const char* kFolder = "copied";

protected:
    // 4 s of H.264 with B-frames and AAC.
    static std::string Source() {
        return Generate("h264_bframes_aac.mkv",
                        "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 "
                        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=4 -c:v libx264 "
                        "-preset medium -bf 2 -g 25 -pix_fmt yuv420p -c:a aac -b:a 96k -ac 2");
    }

    // Runs the task alone; the task's final state. log: what the task reported.
    int32_t Run(IMediaTaskConfig* config, std::string* log = nullptr) {
        std::string reported;
        const int32_t state = RunAlone(config, &reported);
        EXPECT_EQ(state, TaskFinished) << reported;
        if (log)
            *log = reported;
        return state;
    }

};

}  // namespace

TEST_F(CopiedStreams, BothStreamsCopiedIntoMp4KeepEveryPacketAndTheLength) {
    const std::string source = Source();
    const std::string target = Out("copied.mp4");
    Owned<IMediaTaskConfig> config = MakeTask(*manager_, source, target, "mp4", {Copy(0), Copy(1)});
    ASSERT_NE(config, nullptr);
    std::string log;
    ASSERT_EQ(Run(config.get(), &log), TaskFinished);
    // Copied frames carry their times, so the task sees the source's whole length.
    EXPECT_EQ(log.find("ended early"), std::string::npos) << log;

    for (const char* stream : {"v", "a"}) {
        const std::vector<std::string> expected = PacketHashes(source, stream);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(PacketHashes(target, stream), expected) << "stream " << stream;
    }
    std::string errors;
    EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
    for (const char* stream : {"v:0", "a:0"})
        EXPECT_NEAR(PacketSpan(target, stream).length(), PacketSpan(source, stream).length(), kVideoFrame)
            << stream;
    EXPECT_EQ(ProbeValue(target, "v:0", "stream=codec_tag_string"), "avc1");
    EXPECT_EQ(ProbeValue(target, "v:0", "stream=has_b_frames"), ProbeValue(source, "v:0", "stream=has_b_frames"));
}

TEST_F(CopiedStreams, CopiedVideoBesideEncodedSoundStaysInStep) {
    const std::string source = Source();
    struct Case {
        const char* format;
        const char* extension;
        const char* audio;
    } cases[] = {{"mp4", "mp4", "ac3"}, {"matroska", "mkv", "mp2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string target = Out(std::string("mixed.") + c.extension);
        Owned<IMediaTaskConfig> config = MakeTask(*manager_, source, target, c.format,
                                                  {Copy(0), Encode(1, AudioRecord(c.audio, 48000, 2, 192000))});
        ASSERT_NE(config, nullptr);
        ASSERT_EQ(Run(config.get()), TaskFinished);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        EXPECT_EQ(PacketHashes(target, "v"), PacketHashes(source, "v"));
        const Span video = PacketSpan(target, "v:0");
        const Span sound = PacketSpan(target, "a:0");
        EXPECT_NEAR(sound.start, video.start, kVideoFrame);
        EXPECT_NEAR(sound.length(), video.length(), kVideoFrame);
        EXPECT_NEAR(video.length(), 4.0, kVideoFrame);
    }
}

TEST_F(CopiedStreams, CopiedH264PlaysFromTransportStreamsAndMatroska) {
    const std::string source = Source();
    const size_t packets = PacketHashes(source, "v").size();
    struct Case {
        const char* format;
        const char* extension;
    } cases[] = {{"mpegts", "ts"}, {"matroska", "mkv"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string target = Out(std::string("copied.") + c.extension);
        Owned<IMediaTaskConfig> config = MakeTask(*manager_, source, target, c.format, {Copy(0), Copy(1)});
        ASSERT_NE(config, nullptr);
        ASSERT_EQ(Run(config.get()), TaskFinished);
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(target, &errors)) << errors;
        // A transport stream lists its streams under its program too: the first answer counts.
        const std::string decoded = ProbeValue(target, "v:0", "stream=nb_read_frames -count_frames");
        EXPECT_EQ(decoded.substr(0, decoded.find('\n')), std::to_string(packets));
        EXPECT_NEAR(PacketSpan(target, "v:0").length(), PacketSpan(source, "v:0").length(), kVideoFrame);
    }
}

TEST_F(CopiedStreams, StoppingDuringACopyLeavesNothing) {
    const std::string source = Generate("long.mkv",
                                        "-f lavfi -i testsrc2=size=640x360:rate=25:duration=60 "
                                        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=60 "
                                        "-c:v libx264 -preset ultrafast -c:a aac -ac 2");
    int stoppedMidway = 0;
    for (int delayMs : {0, 5, 20, 50, 100}) {
        for (bool mixed : {false, true}) {
            SCOPED_TRACE("delay " + std::to_string(delayMs) + (mixed ? " ms, mixed" : " ms, copied"));
            const fs::path folder = out_ / (std::to_string(delayMs) + (mixed ? "-mixed" : "-copied"));
            fs::create_directories(folder);
            Owned<IMediaTaskConfig> config = MakeTask(
                *manager_, source, (folder / "out.mp4").string(), "mp4",
                {Copy(0), mixed ? Encode(1, AudioRecord("mp2", 48000, 2, 128000)) : Copy(1)});
            ASSERT_NE(config, nullptr);
            Owned<IMediaConverter> converter(manager_->CreateConverter());
            ASSERT_EQ(converter->AddTask(config.get()), 1);
            converter->Start();
            while (converter->GetTask(0)->state.load() == TaskWaiting)
                converter->WaitForTaskChange(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            EXPECT_TRUE(converter->Stop());  // the task records end with the stop
            converter.reset();
            // What a task that finished just before the stop left is complete; a stopped one
            // leaves nothing, not even its temporary file.
            if (fs::is_empty(folder)) {
                ++stoppedMidway;
                continue;
            }
            for (const auto& entry : fs::directory_iterator(folder))
                EXPECT_EQ(entry.path().filename(), "out.mp4");
            EXPECT_TRUE(DecodesCleanly((folder / "out.mp4").string()));
        }
    }
    EXPECT_GT(stoppedMidway, 0) << "every task ended before it could be stopped";
}
