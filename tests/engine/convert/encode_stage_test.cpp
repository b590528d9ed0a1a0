// A stream's encoding stage: it drains in order, holds its byte bound against a stalled
// encoder, and an encoder that fails or a stop leaves no frame and no thread behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

#include "convert/encode_stage.h"

using namespace MediaBased;
using namespace std::chrono_literals;

namespace {

// A sanitizer starts a thread of its own with the process's first other thread, and keeps it:
// one thread started and joined first leaves the counts to the stages alone.
size_t ThreadCount() {
    static const bool settled = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)settled;
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// Frames whose one buffer counts its own release, so a test sees every frame let go.
class CountedFrames {
public:
    SystemBased::FramePtr Make(int64_t pts, size_t bytes) {
        SystemBased::FramePtr frame(av_frame_alloc());
        auto* data = static_cast<uint8_t*>(av_malloc(bytes));
        frame->buf[0] = av_buffer_create(data, bytes, &CountedFrames::Free, &freed_, 0);
        frame->data[0] = data;
        frame->pts = pts;
        ++made_;
        return frame;
    }
    int made() const { return made_; }
    int freed() const { return freed_.load(); }

private:
    static void Free(void* freed, uint8_t* data) {
        av_free(data);
        ++*static_cast<std::atomic<int>*>(freed);
    }
    int made_ = 0;
    std::atomic<int> freed_{0};
};

// An encoder that waits at each frame until it is let go.
class Gate {
public:
    void Wait() {
        std::unique_lock<std::mutex> lock(lock_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void Open() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void WaitForWaiter() {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return waiting_ > 0; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

}  // namespace

TEST(EncodeStage, EncodesInOrderThenDrainsOnceWithinItsByteBound) {
    constexpr size_t kFrameBytes = 1024 * 1024;
    constexpr size_t kMaxBytes = 4 * kFrameBytes;
    CountedFrames frames;
    Gate gate;
    std::vector<int64_t> encoded;  // the stage's thread alone writes it until Finish
    int drains = 0;
    const size_t threadsBefore = ThreadCount();
    {
        EncodeStage stage(
            [&](const AVFrame* frame) {
                gate.Wait();
                if (frame == nullptr)
                    ++drains;
                else
                    encoded.push_back(frame->pts);
                return true;
            },
            100, kMaxBytes);
        ASSERT_TRUE(stage.Start());
        EXPECT_EQ(ThreadCount(), threadsBefore + 1);
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            for (int i = 0; i < 30; ++i) {
                if (!stage.Push(frames.Make(i, kFrameBytes)))
                    return;
                ++pushed;
            }
        });
        // The encoder holds the first frame; the queue fills to its bound behind it.
        gate.WaitForWaiter();
        for (int wait = 0; wait < 200 && pushed.load() < 5; ++wait)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(pushed.load(), 5) << "one frame at the encoder and four waiting";
        EXPECT_LE(stage.PeakBytes(), kMaxBytes);
        gate.Open();
        producer.join();
        EXPECT_EQ(pushed.load(), 30);
        EXPECT_TRUE(stage.Finish());
        EXPECT_LE(stage.PeakBytes(), kMaxBytes);
        EXPECT_FALSE(stage.Push(frames.Make(99, 16))) << "nothing is taken after the end";
    }
    ASSERT_EQ(encoded.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(encoded[i], i);
    EXPECT_EQ(drains, 1);
    EXPECT_EQ(frames.freed(), frames.made());
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST(EncodeStage, AnEncoderFailingMidStreamRefusesTheRestAndDrainsNothing) {
    CountedFrames frames;
    std::atomic<int> calls{0};
    std::atomic<bool> drained{false};
    const size_t threadsBefore = ThreadCount();
    int accepted = 0;
    {
        EncodeStage stage(
            [&](const AVFrame* frame) {
                if (frame == nullptr) {
                    drained = true;
                    return true;
                }
                return ++calls < 10;
            },
            4, 1 << 20);
        ASSERT_TRUE(stage.Start());
        for (int i = 0; i < 200; ++i) {
            if (!stage.Push(frames.Make(i, 4096)))
                break;
            ++accepted;
        }
        EXPECT_TRUE(stage.failed());
        EXPECT_FALSE(stage.Push(frames.Make(500, 16)));
        EXPECT_FALSE(stage.Finish());
    }
    EXPECT_EQ(calls.load(), 10) << "nothing reaches a failed encoder";
    EXPECT_FALSE(drained.load());
    // What waited behind the failing frame was dropped, not kept.
    EXPECT_LE(accepted, 10 + 4);
    EXPECT_EQ(frames.freed(), frames.made());
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST(EncodeStage, AStopWhileTheEncoderIsBusyDropsWhatWaitsAndLeavesNoThread) {
    const size_t threadsBefore = ThreadCount();
    for (int cycle = 0; cycle < 20; ++cycle) {
        CountedFrames frames;
        Gate gate;
        std::atomic<int> calls{0};
        {
            EncodeStage stage(
                [&](const AVFrame*) {
                    ++calls;
                    gate.Wait();
                    return true;
                },
                8, 1 << 20);
            ASSERT_TRUE(stage.Start());
            for (int i = 0; i < 4; ++i)
                ASSERT_TRUE(stage.Push(frames.Make(i, 1024)));
            gate.WaitForWaiter();
            std::thread stopper([&] { stage.Stop(); });
            // Once the stop has closed the queue, a push is refused (until then it waits for
            // room or adds to what will be dropped).
            int extra = 0;
            while (stage.Push(frames.Make(100 + extra, 16)))
                ++extra;
            // Stop waits for the frame the encoder has; the ones behind it never reach it.
            gate.Open();
            stopper.join();
        }
        EXPECT_EQ(calls.load(), 1) << "cycle " << cycle;
        EXPECT_EQ(frames.freed(), frames.made()) << "cycle " << cycle;
    }
    EXPECT_EQ(ThreadCount(), threadsBefore);
}
