// Helpers of the import tests: a logger that records what the engine reports, a watchdog that
// turns a hang into a failure, and a reader that drains a source.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine_test_support.h"
#include "object/media_frame.h"
#include "process_helpers.h"
#include "system/module_logger.h"

// Takes the module logger's place while it lives.
class LogCapture final : public SystemBased::ISystemLogger {
public:
    using Entry = std::pair<std::string, std::string>;  // message, location

    LogCapture() : previous_(SystemBased::ModuleLogger()) { SystemBased::SetModuleLogger(this); }
    ~LogCapture() { SystemBased::SetModuleLogger(previous_); }

    void* Reserved0(void*) override { return nullptr; }
    bool Reserved1(void*) override { return false; }
    const char* Reserved2() override { return ""; }
    const char* GetText() override { return ""; }
    bool Log(const char* message, const char* location) override {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.emplace_back(message ? message : "", location ? location : "");
        return true;
    }

    std::vector<Entry> entries() {
        std::lock_guard<std::mutex> guard(lock_);
        return entries_;
    }
    bool Has(const std::string& message, const std::string& location) {
        for (const Entry& entry : entries())
            if (entry == Entry(message, location))
                return true;
        return false;
    }

private:
    SystemBased::ISystemLogger* previous_;
    std::mutex lock_;
    std::vector<Entry> entries_;
};

// Aborts the test program if it lives longer than the limit, so a hang fails the run.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what)
        : thread_([this, limit, what = std::move(what)] {
              std::unique_lock<std::mutex> lock(lock_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "hung for %llds: %s\n",
                               static_cast<long long>(limit.count()), what.c_str());
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex lock_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// What a test keeps of a frame the source only lends.
struct Delivered {
    int32_t slot;
    int32_t kind;
    int64_t start;
    int64_t end;
    bool discontinuity;
    bool keyFrame;
    int32_t dataSize;     // compressed frames
    int32_t bufferSize;
    int32_t sampleCount;  // audio frames
    int32_t sampleRate;   // audio frames
};

inline std::vector<Delivered> ReadAll(MediaBased::IMediaSource* source, size_t limit = 1000000,
                                      std::chrono::seconds timeLimit = std::chrono::seconds(120)) {
    using namespace MediaBased;
    Watchdog watchdog(timeLimit, "reading a source");
    std::vector<Delivered> frames;
    IMediaFrame* frame = nullptr;
    int32_t slot = -1;
    while (frames.size() < limit && source->ReadFrame(&frame, &slot, nullptr)) {
        Delivered d{};
        d.slot = slot;
        d.kind = frame->GetKind();
        frame->GetTimes(&d.start, &d.end);
        d.discontinuity = frame->IsDiscontinuity();
        d.keyFrame = frame->IsKeyFrame();
        d.bufferSize = frame->GetBufferSize();
        if (d.kind == FrameKindCompressed)
            d.dataSize = static_cast<CCompressedFrame*>(frame)->GetDataSize();
        if (d.kind == FrameKindAudio) {
            d.sampleCount = static_cast<IAudioFrame*>(frame)->GetSampleCount();
            d.sampleRate = static_cast<IAudioFrame*>(frame)->GetSampleRate();
        }
        frames.push_back(d);
    }
    return frames;
}

inline std::vector<Delivered> OfSlot(const std::vector<Delivered>& frames, int32_t slot) {
    std::vector<Delivered> selected;
    for (const Delivered& frame : frames)
        if (frame.slot == slot)
            selected.push_back(frame);
    return selected;
}

// ffprobe's values for one stream, one per line, e.g. ProbeLines(path, "v:0", "packet=size").
inline std::vector<std::string> ProbeLines(const std::string& path, const std::string& stream,
                                           const std::string& entries,
                                           const std::string& options = "") {
    const CommandResult r = RunCommand("ffprobe -v quiet " + options + " -select_streams " + stream +
                                       " -show_entries " + entries + " -of default=nw=1:nk=1 " +
                                       ShellQuote(path));
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t end; (end = r.output.find('\n', from)) != std::string::npos; from = end + 1)
        if (end > from)
            lines.push_back(r.output.substr(from, end - from));
    return lines;
}

// How many frames ffprobe decodes from one stream; -1 when it cannot tell.
inline long ProbeDecodedFrames(const std::string& path, const std::string& stream) {
    const std::vector<std::string> lines =
        ProbeLines(path, stream, "stream=nb_read_frames", "-count_frames");
    return lines.size() == 1 ? std::atol(lines[0].c_str()) : -1;
}
