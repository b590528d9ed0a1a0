// A task as two stages joined by a bounded queue: the queue holds its bounds against a stalled
// consumer, and stops at any moment leave no thread and no frame behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "convert/decode_stage.h"
#include "convert/frame_queue.h"
#include "converter_test_support.h"
#include "object/media_frame.h"

using namespace MediaBased;
using namespace converter_test;
using namespace std::chrono_literals;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kStopCycles = 30;  // each cycle is many times slower under a sanitizer
#else
constexpr int kStopCycles = 100;
#endif

size_t ThreadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

FrameQueue::Item ItemOf(size_t bytes) {
    FrameQueue::Item item;
    item.frame.reset(new CCompressedFrame());
    item.bytes = bytes;
    return item;
}

class PipelineTest : public EngineFolderTest {
protected:
    PipelineTest() : EngineFolderTest("vantrel-pipeline") {}
};

}  // namespace

TEST(FrameQueue, HoldsItsBoundsAgainstAStalledConsumerAndEndsWithItsReason) {
    FrameQueue queue(8, 10 * 1024 * 1024);
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (int i = 0; i < 20; ++i) {
            if (!queue.Push(ItemOf(3 * 1024 * 1024)))
                return;
            ++pushed;
        }
        queue.End(FrameQueue::EndReason::EndOfStream);
    });
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(pushed.load(), 3) << "three 3 MB pictures fill 10 MB";
    EXPECT_EQ(queue.endReason(), FrameQueue::EndReason::None);

    int popped = 0;
    FrameQueue::Item item;
    while (queue.Pop(item))
        ++popped;
    producer.join();
    EXPECT_EQ(popped, 20) << "every frame comes out before the end";
    EXPECT_EQ(queue.endReason(), FrameQueue::EndReason::EndOfStream);
    EXPECT_LE(queue.PeakBytes(), 10u * 1024 * 1024);

    // Small frames stop at the count bound instead.
    FrameQueue counted(8, 1 << 30);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(counted.Push(ItemOf(10)));
    std::thread blocked([&] { EXPECT_FALSE(counted.Push(ItemOf(10))) << "closed while waiting"; });
    std::this_thread::sleep_for(50ms);
    counted.Close();
    blocked.join();
    EXPECT_FALSE(counted.Pop(item));
}

TEST(DecodeStage, QueuedPacketsOutliveTheSourcesNextRead) {
    // The source lends the same frame object for every packet of a slot; what waits in the
    // queue must be the packet that was read, not whatever the slot holds by now.
    Owned<IMediaManager> manager(CreateMediaManager());
    Owned<IMediaImporter> importer(manager->OpenImporter(TestMedia("h264_aac.mkv").c_str()));
    ASSERT_NE(importer, nullptr);
    const StreamSelection passed{0, 1};
    Owned<IMediaSource> source(importer->CreateSource(0, &passed, 1));
    ASSERT_NE(source, nullptr);
    FrameQueue queue(1000, 256 * 1024 * 1024);
    std::vector<std::vector<uint8_t>> read;
    std::vector<int64_t> starts;
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    while (source->ReadFrame(&frame, &slot, nullptr)) {
        read.emplace_back(frame->GetBuffer(), frame->GetBuffer() + frame->GetBufferSize());
        int64_t start = 0;
        frame->GetTimes(&start, nullptr);
        starts.push_back(start);
        FrameQueue::Item item;
        item.frame.reset(OwnedCopyOf(*frame));
        ASSERT_NE(item.frame, nullptr);
        EXPECT_NE(item.frame.get(), frame);
        item.bytes = FrameBytes(*item.frame);
        EXPECT_EQ(item.bytes, read.back().size());
        ASSERT_TRUE(queue.Push(std::move(item)));
    }
    ASSERT_GT(read.size(), 50u);
    source.reset();  // the source's own frame goes; the queued copies stay
    queue.End(FrameQueue::EndReason::EndOfStream);
    FrameQueue::Item item;
    for (size_t i = 0; i < read.size(); ++i) {
        ASSERT_TRUE(queue.Pop(item));
        const AVPacket* packet = HeldPacketOf(item.frame.get());
        ASSERT_NE(packet, nullptr) << i;
        ASSERT_EQ(static_cast<size_t>(packet->size), read[i].size()) << i;
        EXPECT_TRUE(std::equal(read[i].begin(), read[i].end(), packet->data)) << i;
        int64_t start = 0;
        item.frame->GetTimes(&start, nullptr);
        EXPECT_EQ(start, starts[i]) << i;
    }
    EXPECT_FALSE(queue.Pop(item));
}

TEST_F(PipelineTest, StopsAtRandomMomentsLeaveNoThreadBehind) {
    const std::string source = LongInput(dir_);
    // Counted after the first cycle: a sanitizer starts a thread of its own with the first
    // threads of the process, and that one stays.
    size_t threadsBefore = 0;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayMs(0, 150);
    const int cycles = kStopCycles;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        Owned<IMediaConverter> converter(manager_->CreateConverter());
        ASSERT_NE(converter, nullptr);
        const std::string target = (dir_ / ("out" + std::to_string(cycle) + ".mkv")).string();
        ASSERT_GT(converter->AddTask(MakeConfig(*manager_, source, target, OutputShape{}).get()), 0);
        ASSERT_TRUE(converter->Start());
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ASSERT_TRUE(converter->Stop());
        converter.reset();
        ASSERT_FALSE(std::filesystem::exists(target)) << "a stopped task leaves no file, cycle " << cycle;
        if (cycle == 0) {
            std::this_thread::sleep_for(100ms);
            threadsBefore = ThreadCount();
        }
    }
    // FFmpeg's decoder and encoder threads end with their contexts; give the last ones a moment.
    for (int wait = 0; wait < 100 && ThreadCount() > threadsBefore; ++wait)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ThreadCount(), threadsBefore);
    std::string leftovers;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        if (entry.path() != source)
            leftovers += entry.path().filename().string() + " ";
    EXPECT_EQ(leftovers, "") << "only the source is left";
}
