// Converting generated sources through the public engine, and measuring what a viewer of the
// output would see: shape, length, and when a flash and a beep happen.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "process_helpers.h"
#include "stream_records.h"
#include "vantrel/vantrel.h"

namespace faithful {

using namespace MediaBased;

// One output stream: the source stream it is made from and its record.
struct OutputStream {
    int sourceIndex;
    StreamRecord record;
};

// Runs one task through a converter of its own and returns its final state.
inline int32_t Convert(IMediaManager& manager, const std::string& source,
                       const std::string& target, const char* format,
                       const std::vector<OutputStream>& streams) {
    Owned<IMediaTaskConfig> config(manager.CreateTaskConfig());
    Owned<IMediaInfo> info(manager.CreateMediaInfo());
    info->SetFormatName(format);
    for (const OutputStream& stream : streams) {
        info->AddStream(&stream.record);
        const StreamSelection selection{stream.sourceIndex, 0};
        config->AddStreamSelection(&selection);
    }
    config->SetTargetInfo(info.get());
    config->SetSourcePath(source.c_str());
    config->SetTargetPath(target.c_str());

    Owned<IMediaConverter> converter(manager.CreateConverter());
    EXPECT_EQ(converter->AddTask(config.get()), 1);
    converter->Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (converter->GetUnfinishedTaskCount() > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the task did not end in time: " << target;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ConvertTask* task = converter->GetTask(0);
    const int32_t state = task ? task->state.load() : -1;
    if (state != TaskFinished)
        ADD_FAILURE() << target << " did not finish; the engine's log:\n"
                      << GetSystemLogger()->GetText();
    return state;
}

// Makes a file with the ffmpeg tool unless it exists; arguments go between the input options
// and the output name.
inline std::string Generate(const std::filesystem::path& dir, const std::string& name,
                            const std::string& arguments) {
    const std::filesystem::path path = dir / name;
    if (!std::filesystem::exists(path)) {
        const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y " + arguments + " " +
                                           ShellQuote(path.string()));
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }
    return path.string();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// Samples the first audio stream decodes to, after the decoder dropped its priming samples.
inline long long DecodedSamples(const std::string& path) {
    const CommandResult r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                                       "frame=nb_samples -of csv=p=0 " + ShellQuote(path));
    long long total = 0;
    for (const std::string& line : Lines(r.output))
        total += std::atoll(line.c_str());
    return total;
}

// Presentation time of the first picture whose mean brightness is above half, in seconds;
// -1 when none is.
inline double FirstFlash(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -f lavfi -i " + ShellQuote("movie=" + path + ",signalstats") +
        " -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0");
    for (const std::string& line : Lines(r.output)) {
        const size_t comma = line.find(',');
        if (comma != std::string::npos && std::atof(line.c_str() + comma + 1) > 128.0)
            return std::atof(line.c_str());
    }
    return -1.0;
}

// Time at which the first audio stream's first sound starts after silence, in seconds; -1
// when there is none.
inline double FirstBeep(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -f lavfi -i " +
        ShellQuote("amovie=" + path + ",silencedetect=n=-30dB:d=0.05") +
        " -show_entries frame_tags=lavfi.silence_end -of csv=p=0");
    for (const std::string& line : Lines(r.output))
        return std::atof(line.c_str());
    return -1.0;
}

// A folder per test suite, kept for the suite's generated sources.
inline std::filesystem::path SuiteFolder(const char* suite) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      (std::string("corvane-") + suite + "-" +
                                       std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace faithful
