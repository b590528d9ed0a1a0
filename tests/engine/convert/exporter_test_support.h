// Frames, records and output checks shared by the exporter tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "object/media_frame.h"
#include "process_helpers.h"
#include "stream_records.h"
#include "system/ffmpeg_handles.h"
#include "system/module_logger.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace exporter_test {

using namespace MediaBased;
using SystemBased::FramePtr;

constexpr int64_t kUnitsPerSecond = 10000000;  // frame times are in 100 ns

// A yuv420p picture whose pattern moves with index, so that encoders see motion.
inline Owned<CVideoFrame> MakePicture(int width, int height, int index, int64_t start) {
    FramePtr native(av_frame_alloc());
    native->format = AV_PIX_FMT_YUV420P;
    native->width = width;
    native->height = height;
    EXPECT_EQ(av_frame_get_buffer(native.get(), 0), 0);
    for (int p = 0; p < 3; ++p) {
        const int rows = p == 0 ? height : height / 2, columns = p == 0 ? width : width / 2;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                native->data[p][y * native->linesize[p] + x] =
                    p == 0 ? static_cast<uint8_t>(x + y + index * 6) : static_cast<uint8_t>(96 + p * 32);
    }
    Owned<CVideoFrame> frame(new CVideoFrame(PixelYUV420P, width, height, true));
    frame->Attach(native.get());
    frame->SetTimes(start, start);
    return frame;
}

// Float-planar sine samples, the first of them the firstSample-th of the tone.
inline Owned<CAudioFrame> MakeSound(int rate, int channels, int samples, int64_t firstSample) {
    FramePtr native(av_frame_alloc());
    native->format = AV_SAMPLE_FMT_FLTP;
    native->nb_samples = samples;
    native->sample_rate = rate;
    av_channel_layout_default(&native->ch_layout, channels);
    EXPECT_EQ(av_frame_get_buffer(native.get(), 0), 0);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < samples; ++i)
            reinterpret_cast<float*>(native->extended_data[c])[i] =
                0.3f * std::sin(2 * M_PI * 440.0 * double(firstSample + i) / rate);
    Owned<CAudioFrame> frame(
        new CAudioFrame(FLTP, true, rate, channels, static_cast<int64_t>(native->ch_layout.u.mask)));
    frame->Attach(native.get());
    const int64_t start = firstSample * kUnitsPerSecond / rate;
    frame->SetTimes(start, start + int64_t{samples} * kUnitsPerSecond / rate);
    return frame;
}

using ::AudioRecord;
using ::VideoRecord;

// Collects what the engine logs while a test runs.
class CapturedLog final : public SystemBased::ISystemLogger {
public:
    CapturedLog() : previous_(SystemBased::ModuleLogger()) { SystemBased::SetModuleLogger(this); }
    ~CapturedLog() { SystemBased::SetModuleLogger(previous_); }
    void* Reserved0(void*) override { return nullptr; }
    bool Reserved1(void*) override { return false; }
    const char* Reserved2() override { return ""; }
    bool Log(const char* message, const char* location) override {
        text_ += std::string(message) + "," + (location ? location : "") + "\n";
        return true;
    }
    const char* GetText() override { return text_.c_str(); }

private:
    SystemBased::ISystemLogger* previous_;
    std::string text_;
};

// A fresh folder per test, removed afterwards.
class ExporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "exporter-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

inline std::vector<double> ProbeNumbers(const std::string& path, const std::string& stream,
                                        const std::string& entries) {
    std::istringstream lines(ProbeValue(path, stream, entries));
    std::vector<double> values;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "N/A")
            values.push_back(std::atof(line.c_str()));
    return values;
}

inline double ProbeNumber(const std::string& path, const std::string& stream,
                          const std::string& entries) {
    const auto values = ProbeNumbers(path, stream, entries);
    return values.empty() ? -1.0 : values.front();
}

}  // namespace exporter_test

namespace exporter_test {

// An exporter for a new target description, opened on path; null when Open fails.
inline Owned<IMediaExporter> OpenExporter(IMediaManager& manager, const char* format,
                                          const std::vector<StreamRecord>& records,
                                          const std::string& path) {
    Owned<IMediaInfo> target(manager.CreateMediaInfo());
    target->SetFormatName(format);
    for (const StreamRecord& record : records)
        target->AddStream(&record);
    Owned<IMediaExporter> exporter(manager.CreateExporter(nullptr));
    if (!exporter->SetTargetInfo(target.get()) || !exporter->Open(path.c_str()))
        return nullptr;
    return exporter;
}

// Synthetic pictures and sound, interleaved by time as a source delivers them.
struct SyntheticFeed {
    int videoSlot = -1;
    double fps = 25.0;
    int width = 640, height = 360;
    int audioSlot = -1;
    int rate = 48000, channels = 2, samplesPerFrame = 960;
    double seconds = 1.0;
};

// True when every WriteFrame succeeded.
inline bool Feed(IMediaExporter& exporter, const SyntheticFeed& feed) {
    bool allWritten = true;
    int picture = 0;
    int64_t sample = 0;
    const int pictures = feed.videoSlot < 0 ? 0 : static_cast<int>(std::lround(feed.seconds * feed.fps));
    const int64_t samples = feed.audioSlot < 0 ? 0 : std::llround(feed.seconds * feed.rate);
    while (picture < pictures || sample < samples) {
        const double pictureTime = picture < pictures ? picture / feed.fps : 1e9;
        const double soundTime = sample < samples ? double(sample) / feed.rate : 1e9;
        if (pictureTime <= soundTime) {
            const auto start = static_cast<int64_t>(pictureTime * kUnitsPerSecond);
            auto frame = MakePicture(feed.width, feed.height, picture++, start);
            allWritten = exporter.WriteFrame(frame.get(), feed.videoSlot) && allWritten;
        } else {
            const int count = static_cast<int>(std::min<int64_t>(feed.samplesPerFrame, samples - sample));
            auto frame = MakeSound(feed.rate, feed.channels, count, sample);
            sample += count;
            allWritten = exporter.WriteFrame(frame.get(), feed.audioSlot) && allWritten;
        }
    }
    return allWritten;
}

}  // namespace exporter_test
