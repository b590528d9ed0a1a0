// Suites that convert generated media: one folder per suite for the sources the ffmpeg tool
// makes once, one folder per test for its outputs, all removed at the end unless
// CORVANE_KEEP_TEST_OUTPUT is set. Suite names the folder with its static kFolder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "process_helpers.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

template <typename Suite>
class MediaSuiteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = std::filesystem::temp_directory_path() /
                 (std::string("vantrel-") + Suite::kFolder + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(media_);
    }

    static void TearDownTestSuite() {
        if (std::getenv("CORVANE_KEEP_TEST_OUTPUT") == nullptr)
            std::filesystem::remove_all(media_);
    }

    void SetUp() override {
        manager_.reset(CreateMediaManager());
        ASSERT_NE(manager_, nullptr);
        out_ = media_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(out_);
    }

    // A source in the suite's folder, made the first time it is asked for; arguments go
    // between the tool's options and the file's name.
    static std::string Generate(const std::string& name, const std::string& arguments) {
        const std::filesystem::path path = media_ / name;
        if (!std::filesystem::exists(path)) {
            const CommandResult made =
                RunCommand("ffmpeg -nostdin -v error -y " + arguments + " " + ShellQuote(path.string()));
            EXPECT_EQ(made.exitCode, 0) << made.output;
        }
        return path.string();
    }

    std::string Out(const std::string& name) const { return (out_ / name).string(); }

    // Runs one task alone until it ends: its final state, and what it reported into log.
    int32_t RunAlone(MediaBased::IMediaTaskConfig* config, std::string* log = nullptr) {
        MediaBased::Owned<MediaBased::IMediaConverter> converter(manager_->CreateConverter());
        EXPECT_EQ(converter->AddTask(config), 1);
        converter->Start();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (converter->GetUnfinishedTaskCount() > 0 && std::chrono::steady_clock::now() < deadline)
            converter->WaitForTaskChange(100);
        if (log)
            *log = converter->GetTaskLog(0);
        return converter->GetTask(0)->state.load();
    }

    static inline std::filesystem::path media_;
    MediaBased::Owned<MediaBased::IMediaManager> manager_;
    std::filesystem::path out_;
};
