// The read-ahead queue: bounded by packets and bytes, waking both sides without polling, and
// dropping what was read before a seek.
#include "import/packet_queue.h"
#include "import/ffmpeg_media_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "import_test_support.h"
#include "object/media_manager.h"
#include "vantrel/owned.h"

using namespace MediaBased;
using namespace std::chrono_literals;

namespace {

SystemBased::PacketPtr PacketOf(int bytes) {
    SystemBased::PacketPtr packet(av_packet_alloc());
    EXPECT_EQ(av_new_packet(packet.get(), bytes), 0);
    return packet;
}

}  // namespace

TEST(PacketQueue, AStalledConsumerHoldsTheReaderAtTheByteBound) {
    PacketQueue queue(100, 4 * 1024 * 1024);
    std::atomic<int> pushed{0};
    std::thread reader([&] {
        while (queue.Push(PacketOf(1024 * 1024), queue.Generation()))
            ++pushed;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(pushed.load(), 4) << "four 1 MB packets fill 4 MB";
    EXPECT_LE(queue.Bytes(), 4u * 1024 * 1024);

    // Taking one makes room for exactly one more.
    SystemBased::PacketPtr taken;
    ASSERT_EQ(queue.Pop(taken), PacketQueue::PopResult::Packet);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(pushed.load(), 5);
    EXPECT_EQ(queue.PeakBytes(), 4u * 1024 * 1024);

    queue.Close();
    reader.join();
}

TEST(PacketQueue, AnEmptyQueueTakesAPacketLargerThanItsBound) {
    PacketQueue queue(100, 1024);
    ASSERT_TRUE(queue.Push(PacketOf(4096), queue.Generation())) << "else a large picture would stop the file";
    queue.Finish(queue.Generation());
    SystemBased::PacketPtr packet;
    EXPECT_EQ(queue.Pop(packet), PacketQueue::PopResult::Packet);
    EXPECT_EQ(queue.Pop(packet), PacketQueue::PopResult::End);
}

TEST(PacketQueue, ASeekDropsWhatWasReadBeforeItAndRestartsAFinishedReader) {
    PacketQueue queue(2, 1 << 20);
    const uint64_t before = queue.Generation();
    ASSERT_TRUE(queue.Push(PacketOf(10), before));
    ASSERT_TRUE(queue.Push(PacketOf(10), before));
    // A reader blocked on the full queue with a packet from before the seek.
    std::atomic<int> result{-1};
    std::thread blocked([&] { result = queue.Push(PacketOf(10), before) ? 1 : 0; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(result.load(), -1) << "the full queue holds it";
    const uint64_t after = queue.Clear();
    blocked.join();
    EXPECT_EQ(result.load(), 0) << "the stale packet is dropped, not queued";
    EXPECT_EQ(queue.Size(), 0u);

    queue.Finish(before);  // a late end from before the seek counts for nothing
    SystemBased::PacketPtr packet;
    ASSERT_TRUE(queue.Push(PacketOf(10), after));
    queue.Finish(after);
    std::thread restart([&] { result = queue.WaitForRestart(after) ? 1 : 0; });
    EXPECT_EQ(queue.Pop(packet), PacketQueue::PopResult::Packet);
    EXPECT_EQ(queue.Pop(packet), PacketQueue::PopResult::End);
    queue.Clear();
    restart.join();
    EXPECT_EQ(result.load(), 1);
}

TEST(PacketQueue, CloseWakesAConsumerWaitingOnAnEmptyQueue) {
    PacketQueue queue(10, 1 << 20);
    std::atomic<int> popped{-1};
    std::thread consumer([&] {
        SystemBased::PacketPtr packet;
        popped = static_cast<int>(queue.Pop(packet));
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(popped.load(), -1);
    queue.Close();
    consumer.join();
    EXPECT_EQ(popped.load(), static_cast<int>(PacketQueue::PopResult::Closed));
}

TEST(MediaSourceQueue, AHighRateSourceNeverQueuesPastItsByteBound) {
    // About 60 Mbit/s of noise: a hundred pictures would be over 30 MB.
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("vantrel-noisy-" + std::to_string(::getpid()) + ".mkv")).string();
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i 'nullsrc=size=640x360:rate=25:duration=4,"
        "geq=lum=random(1)*255:cb=128:cr=128' -c:v libx264 -preset ultrafast -qp 0 -g 25 " + ShellQuote(path));
    ASSERT_EQ(made.exitCode, 0) << made.output;

    CMediaManager manager;
    Owned<IMediaImporter> importer(manager.OpenImporter(path.c_str()));
    ASSERT_NE(importer, nullptr);
    const StreamSelection video{0, 0};
    Owned<IMediaSource> source(importer->CreateSource(0, &video, 1));
    ASSERT_NE(source, nullptr);
    // The consumer stalls; the reader fills the queue and must stop at the bound.
    std::this_thread::sleep_for(1500ms);
    const auto peak = static_cast<size_t>(source->NamedParameter("R_MediaSourceParamQueuePeakBytes", nullptr));
    EXPECT_GT(peak, 8u * 1024 * 1024) << "the reader did read ahead";
    EXPECT_LE(peak, CFFMediaSource::kQueueByteLimit + 4u * 1024 * 1024) << "one packet over at most";

    // And everything still comes out.
    int pictures = 0;
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    while (!source->IsEndOfStream())
        if (source->ReadFrame(&frame, &slot, nullptr) && frame != nullptr)
            ++pictures;
    EXPECT_EQ(pictures, 100);
    source.reset();
    importer.reset();
    std::filesystem::remove(path);
}
