#include "import/ffmpeg_media_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "import_test_support.h"
#include "object/media_manager.h"
#include "system/base_thread.h"
#include "system/feeding_priority.h"
#include "system/platform.h"

using namespace MediaBased;

namespace {

constexpr int64_t kPictureTime = 400000;  // 25 frames per second, in 100 ns units

struct OpenedSource {
    Owned<IMediaImporter> importer;
    Owned<IMediaSource> source;  // released first: it reads the importer's container
};

OpenedSource Open(const std::string& name, std::vector<StreamSelection> selections) {
    CMediaManager manager;
    OpenedSource opened;
    opened.importer.reset(manager.OpenImporter(TestMedia(name).c_str()));
    if (opened.importer)
        opened.source.reset(opened.importer->CreateSource(
            0, selections.data(), static_cast<int32_t>(selections.size())));
    return opened;
}

std::string HasAv(const OpenedSource& opened) {
    return reinterpret_cast<const char*>(
        opened.source->NamedParameter("R_MediaSourceParamHasAV", nullptr));
}

}  // namespace

TEST(MediaSource, SlotsFollowTheSelectionAndFramesTheContainerOrder) {
    for (bool videoFirst : {true, false}) {
        OpenedSource opened = Open("h264_aac.mkv", videoFirst ? std::vector<StreamSelection>{{0, 0}, {1, 0}}
                                                              : std::vector<StreamSelection>{{1, 0}, {0, 0}});
        ASSERT_NE(opened.source, nullptr);
        const std::vector<Delivered> frames = ReadAll(opened.source.get(), 30);
        ASSERT_EQ(frames.size(), 30u);
        const int32_t videoSlot = videoFirst ? 0 : 1;
        for (const Delivered& frame : frames)
            EXPECT_EQ(frame.kind, frame.slot == videoSlot ? FrameKindVideo : FrameKindAudio);
        // Interleaved as in the file, not one stream after the other.
        EXPECT_FALSE(OfSlot(frames, 0).empty());
        EXPECT_FALSE(OfSlot(frames, 1).empty());
    }
}

TEST(MediaSource, EveryPictureAndSoundBlockComesOutBeforeTheEnd) {
    const std::string path = TestMedia("h264_aac.mkv");
    OpenedSource opened = Open("h264_aac.mkv", {{0, 0}, {1, 0}});
    ASSERT_NE(opened.source, nullptr);
    Watchdog watchdog(std::chrono::seconds(120), "end of stream");
    long counts[2] = {0, 0};
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    // The converter's loop: the end is asked for before every read.
    while (!opened.source->IsEndOfStream())
        if (opened.source->ReadFrame(&frame, &slot, nullptr))
            ++counts[slot];
    // The B-frame decoder holds pictures back; they come out when the file ends.
    EXPECT_EQ(counts[0], ProbeDecodedFrames(path, "v:0"));
    EXPECT_EQ(counts[1], ProbeDecodedFrames(path, "a:0"));
    EXPECT_FALSE(opened.source->ReadFrame(&frame, &slot, nullptr));
    EXPECT_FALSE(opened.source->ReadFrame(nullptr, &slot, nullptr));
}

TEST(MediaSource, StartTimesArePresentationTimes) {
    OpenedSource opened = Open("h264_aac.mkv", {{0, 0}, {1, 0}});
    ASSERT_NE(opened.source, nullptr);
    const std::vector<Delivered> frames = ReadAll(opened.source.get());
    const std::vector<Delivered> pictures = OfSlot(frames, 0);
    const std::vector<Delivered> sound = OfSlot(frames, 1);
    // ffprobe's presentation times are Matroska's milliseconds.
    const std::vector<std::string> probed =
        ProbeLines(TestMedia("h264_aac.mkv"), "v:0", "frame=best_effort_timestamp");
    ASSERT_EQ(probed.size(), pictures.size());
    ASSERT_FALSE(sound.empty());
    EXPECT_TRUE(pictures[0].keyFrame);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(std::to_string(pictures[i].start / 10000), probed[i]) << "picture " << i;
        EXPECT_EQ(pictures[i].end - pictures[i].start, kPictureTime) << "picture " << i;
        EXPECT_FALSE(pictures[i].discontinuity) << "picture " << i;
        if (i > 0) {
            EXPECT_EQ(pictures[i].start - pictures[i - 1].start, kPictureTime) << "picture " << i;
        }
    }
    EXPECT_LE(std::abs(sound[0].start - pictures[0].start), kPictureTime);
    int64_t soundTime = 0;
    for (size_t i = 0; i < sound.size(); ++i) {
        EXPECT_EQ(sound[i].end - sound[i].start, sound[i].sampleCount * 10000000LL / 48000);
        EXPECT_EQ(sound[i].discontinuity, false) << "block " << i;
        soundTime += sound[i].end - sound[i].start;
    }
    EXPECT_NEAR(soundTime / 1e7, 3.0, 0.05);
}

// Start times of one kind, in the order a sorted list gives them.
std::vector<int64_t> SortedStarts(const std::vector<Delivered>& frames) {
    std::vector<int64_t> starts;
    for (const Delivered& frame : frames)
        starts.push_back(frame.start);
    std::sort(starts.begin(), starts.end());
    return starts;
}

TEST(MediaSource, PassThroughFramesAreThePacketsWithTheirTimesAndKeys) {
    const std::string path = TestMedia("h264_aac.mkv");
    const std::vector<std::string> packetSizes = ProbeLines(path, "v:0", "packet=size");
    const std::vector<std::string> packetFlags = ProbeLines(path, "v:0", "packet=flags");
    OpenedSource opened = Open("h264_aac.mkv", {{0, 1}});
    ASSERT_NE(opened.source, nullptr);
    const std::vector<Delivered> frames = ReadAll(opened.source.get());
    ASSERT_EQ(frames.size(), packetSizes.size());
    ASSERT_EQ(frames.size(), packetFlags.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(std::to_string(frames[i].dataSize), packetSizes[i]) << "packet " << i;
        EXPECT_EQ(frames[i].bufferSize, frames[i].dataSize) << "the packet's own bytes";
        EXPECT_EQ(frames[i].kind, FrameKindCompressed);
        EXPECT_EQ(frames[i].keyFrame, packetFlags[i][0] == 'K') << "packet " << i;
        EXPECT_EQ(frames[i].end - frames[i].start, kPictureTime) << "packet " << i;
    }
    EXPECT_TRUE(opened.source->IsEndOfStream());

    // In decoding order, but on the very time line of the decoded pictures.
    OpenedSource decoded = Open("h264_aac.mkv", {{0, 0}});
    ASSERT_NE(decoded.source, nullptr);
    EXPECT_EQ(SortedStarts(frames), SortedStarts(ReadAll(decoded.source.get())));
}

TEST(MediaSource, PassedPacketsKeepTheContainersStartLikeDecodedFrames) {
    // A transport stream starts well after time 0; every stream's times count from its start.
    const std::string path = ::testing::TempDir() + "vantrel_late_start.ts";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 "
        "-f lavfi -i sine=sample_rate=48000:duration=1 -c:v libx264 -preset veryfast -bf 2 "
        "-c:a aac -ac 2 -output_ts_offset 5 " + ShellQuote(path));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    CMediaManager manager;
    for (const StreamSelection passedStream : {StreamSelection{0, 1}, StreamSelection{1, 1}}) {
        const int32_t index = passedStream.streamIndex;
        const StreamSelection both[] = {passedStream, {1 - index, 0}};
        const StreamSelection decodedOnly{index, 0};
        Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
        ASSERT_NE(importer, nullptr);
        Owned<IMediaSource> mixed(importer->CreateSource(0, both, 2));
        ASSERT_NE(mixed, nullptr);
        const std::vector<Delivered> frames = ReadAll(mixed.get());
        const std::vector<Delivered> passed = OfSlot(frames, 0);
        const std::vector<Delivered> other = OfSlot(frames, 1);
        ASSERT_FALSE(passed.empty() || other.empty());
        EXPECT_LT(SortedStarts(passed).front(), 2000000) << "stream " << index << " starts near 0";
        EXPECT_LE(std::abs(SortedStarts(passed).front() - SortedStarts(other).front()), kPictureTime);
        // A source reads its importer's container to the end: the next one needs its own.
        Owned<IMediaImporter> again(manager.OpenImporter(path.c_str()));
        ASSERT_NE(again, nullptr);
        Owned<IMediaSource> decoded(again->CreateSource(0, &decodedOnly, 1));
        ASSERT_NE(decoded, nullptr);
        const std::vector<Delivered> reference = ReadAll(decoded.get());
        EXPECT_EQ(SortedStarts(passed), SortedStarts(reference)) << "stream " << index;
    }
    std::remove(path.c_str());
}

TEST(MediaSource, PassedFramesHoldTheirPacket) {
    OpenedSource opened = Open("h264_aac.mkv", {{1, 1}});
    ASSERT_NE(opened.source, nullptr);
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    ASSERT_TRUE(opened.source->ReadFrame(&frame, &slot, nullptr));
    const AVPacket* packet = HeldPacketOf(frame);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->data, frame->GetBuffer()) << "a reference, not a copy";
    EXPECT_EQ(packet->time_base.den, 1000) << "Matroska's time base travels with it";
    EXPECT_TRUE(packet->flags & AV_PKT_FLAG_KEY);
    int64_t start = -1;
    frame->GetTimes(&start, nullptr);
    EXPECT_EQ(start, av_rescale_q(packet->pts, packet->time_base, AVRational{1, 10000000}));
}

TEST(MediaSource, PassedBytesThatLookLikeAFrameHolderStayBytes) {
    OpenedSource opened = Open("holder_lookalike.mkv", {{0, 1}});
    ASSERT_NE(opened.source, nullptr);
    const unsigned char holder[16] = {0xa0, 0x4a, 0x23, 0x01, 0xd5, 0x0f, 0x00, 0x00,
                                      0xef, 0xbe, 0xad, 0xde, 0xef, 0xbe, 0xad, 0xde};
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    int packets = 0;
    for (; opened.source->ReadFrame(&frame, &slot, nullptr); ++packets)
        EXPECT_EQ(std::memcmp(frame->GetBuffer(), holder, sizeof holder), 0);
    EXPECT_EQ(packets, 3);
    opened.source.reset();  // must not free the bytes as if they held a frame reference
}

TEST(MediaSource, SeekStartsOverAndForgetsWhatWasReadAhead) {
    OpenedSource opened = Open("h264_aac.mkv", {{0, 0}, {1, 0}});
    ASSERT_NE(opened.source, nullptr);
    const std::vector<Delivered> whole = ReadAll(opened.source.get());
    ASSERT_TRUE(opened.source->IsEndOfStream());
    ASSERT_TRUE(opened.source->Seek(0));
    EXPECT_FALSE(opened.source->IsEndOfStream());
    const std::vector<Delivered> again = ReadAll(opened.source.get());
    EXPECT_EQ(OfSlot(again, 0).size(), OfSlot(whole, 0).size());
    EXPECT_EQ(OfSlot(again, 1).size(), OfSlot(whole, 1).size());
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(OfSlot(again, 0).front().discontinuity) << "the time jumped back";

    // Packets read ahead before a seek never come out after it.
    for (size_t readBefore : {0u, 1u, 7u, 90u}) {
        ReadAll(opened.source.get(), readBefore);
        ASSERT_TRUE(opened.source->Seek(0));
        const std::vector<Delivered> restarted = ReadAll(opened.source.get(), 40);
        ASSERT_FALSE(OfSlot(restarted, 0).empty() || OfSlot(restarted, 1).empty());
        EXPECT_EQ(OfSlot(restarted, 0).front().start, OfSlot(whole, 0).front().start) << readBefore;
        EXPECT_EQ(OfSlot(restarted, 1).front().start, OfSlot(whole, 1).front().start) << readBefore;
    }

    // Keys every 2 s; the frame-seek flag moves on to the next one.
    ASSERT_TRUE(opened.source->Seek(1500));
    const std::vector<Delivered> middle = OfSlot(ReadAll(opened.source.get(), 10), 0);
    ASSERT_FALSE(middle.empty());
    EXPECT_TRUE(middle[0].keyFrame);
    EXPECT_GE(middle[0].start, 15000000);
    EXPECT_LE(middle[0].start, 20000000 + kPictureTime);
}

TEST(MediaSource, SeekWithoutALaterKeyFrameLandsOnAnEarlierOne) {
    // One key frame only, at the start: nothing to move on to after 600 ms.
    OpenedSource opened = Open("two_audio_subs.mkv", {{0, 0}});
    ASSERT_NE(opened.source, nullptr);
    ASSERT_TRUE(opened.source->Seek(600));
    EXPECT_FALSE(opened.source->IsEndOfStream());
    const std::vector<Delivered> pictures = OfSlot(ReadAll(opened.source.get(), 5), 0);
    ASSERT_FALSE(pictures.empty());
    EXPECT_TRUE(pictures[0].keyFrame);
    EXPECT_LE(pictures[0].start, 6000000);
}

TEST(MediaSource, DurationIsThatOfTheLongestStream) {
    // Container duration, or a stream's own (mp3: in a time base far finer than microseconds).
    for (const char* name : {"audio_longer.mkv", "with_cover.mp3"}) {
        OpenedSource opened = Open(name, {{0, 0}});
        ASSERT_NE(opened.source, nullptr) << name;
        EXPECT_GE(opened.source->GetDuration(), 2990) << name;
        EXPECT_LE(opened.source->GetDuration(), 3100) << name;
    }
}

TEST(MediaSource, HasAvTextNamesTheSelectedKinds) {
    OpenedSource both = Open("h264_aac.mkv", {{0, 0}, {1, 1}});
    OpenedSource audio = Open("h264_aac.mkv", {{1, 0}});
    OpenedSource video = Open("h264_aac.mkv", {{0, 1}});
    OpenedSource nothing = Open("h264_aac.mkv", {});
    ASSERT_TRUE(both.source && audio.source && video.source && nothing.source);
    EXPECT_EQ(HasAv(both), "3");
    EXPECT_EQ(HasAv(audio), "1");
    EXPECT_EQ(HasAv(video), "2");
    EXPECT_EQ(HasAv(nothing), "0");
    EXPECT_EQ(both.source->NamedParameter("W_AudioResamplerParamFrameSize", "1024"), 0);
    EXPECT_EQ(both.source->NamedParameter(nullptr, nullptr), 0);
    EXPECT_EQ(both.source->ReservedQuery(nullptr), nullptr);
    EXPECT_TRUE(ReadAll(nothing.source.get()).empty());
    EXPECT_TRUE(nothing.source->IsEndOfStream());
}

TEST(MediaSource, StreamsWithoutPicturesOrSound) {
    OpenedSource decoded = Open("two_audio_subs.mkv", {{3, 0}});
    ASSERT_NE(decoded.source, nullptr);
    EXPECT_TRUE(ReadAll(decoded.source.get()).empty()) << "decoded subtitles yield no frames";
    OpenedSource passed = Open("two_audio_subs.mkv", {{3, 1}});
    ASSERT_NE(passed.source, nullptr);
    const std::vector<Delivered> lines = ReadAll(passed.source.get());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].dataSize, static_cast<int32_t>(std::strlen("First line")));

    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.OpenImporter(TestMedia("attached_cover.mkv").c_str()));
    ASSERT_NE(importer, nullptr);
    LogCapture log;
    const StreamSelection notes[] = {{0, 0}, {3, 0}};
    EXPECT_EQ(importer->CreateSource(0, notes, 2), nullptr);
    EXPECT_TRUE(log.Has("avcodec_open error.", "301"));
    const StreamSelection notesPassedThrough{3, 1};
    EXPECT_NE(Owned<IMediaSource>(importer->CreateSource(0, &notesPassedThrough, 1)), nullptr);
}

TEST(MediaSource, ReleaseReturnsPromptlyWhateverTheWorkerIsDoing) {
    using Clock = std::chrono::steady_clock;
    Watchdog watchdog(std::chrono::seconds(60), "release");
    // At once, while reading ahead, and long after the worker filled its queue.
    for (int wait : {0, 5, 300}) {
        OpenedSource opened = Open("h264_aac.mkv", {{0, 0}, {1, 0}});
        ASSERT_NE(opened.source, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (wait == 5)
            ReadAll(opened.source.get(), 3);
        const auto before = Clock::now();
        opened.source.reset();
        EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500)) << wait;
    }
}

namespace {

// Nice values of this process's threads called name, read from /proc.
std::vector<int> NiceOfThreadsCalled(const std::string& name) {
    std::vector<int> nices;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string called;
        std::getline(comm, called);
        if (called != name)
            continue;
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // The fields after the name's closing parenthesis; nice is the 17th of them.
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string field;
        for (int i = 0; i < 17 && rest >> field; ++i) {
        }
        nices.push_back(std::stoi(field));
    }
    return nices;
}

}  // namespace

TEST(MediaSource, VideoDecoderThreadsRunBelowTheEncodersTheyFeed) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "this build decodes on the calling thread";
#endif
    if (SystemBased::GetProcessorCount() < 2)
        GTEST_SKIP() << "one processor: the decoder starts no threads";
    const int callerNice = SystemBased::Platform::CurrentThreadNice();
    OpenedSource opened = Open("h264_aac.mkv", {{0, 0}, {1, 0}});
    ASSERT_NE(opened.source, nullptr);
    const std::vector<Delivered> frames = ReadAll(opened.source.get(), 10);
    ASSERT_EQ(frames.size(), 10u);

    const std::vector<int> decoders = NiceOfThreadsCalled("vt-decoder");
    ASSERT_FALSE(decoders.empty()) << "the decoder's threads";
    const int lowered = std::min(SystemBased::Platform::ProcessNice() + SystemBased::kFeedingNiceSteps, 19);
    for (int nice : decoders)
        EXPECT_EQ(nice, lowered);
    EXPECT_EQ(SystemBased::Platform::CurrentThreadNice(), callerNice) << "the opening thread keeps its own";

    opened.source.reset();
    EXPECT_TRUE(NiceOfThreadsCalled("vt-decoder").empty()) << "the decoder's threads end with it";
}
