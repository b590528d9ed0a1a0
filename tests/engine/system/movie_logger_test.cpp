#include "system/movie_logger.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "system/module_logger.h"
#include "system/platform.h"

using namespace SystemBased;

namespace {

const std::regex kEntry(R"(\[\d{8}-\d{2}:\d{2}:\d{2}\.\.\d+\],[^,\n]*,[^,\n]*)");

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(MovieLogger, FormatsTheStampWithPaddedFields) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 3;
    t.tm_sec = 9;
    EXPECT_EQ(CMovieLogger::FormatEntry(t, 4242, "av_open_input_file error.", "147"),
              "[20260105-07:03:09..4242],av_open_input_file error.,147\n");
    EXPECT_EQ(CMovieLogger::FormatEntry(t, 1, "m", nullptr), "[20260105-07:03:09..1],m,\n");
}

TEST(MovieLogger, StartsEmptyAndAnswersReservedSlotsTheSame) {
    CMovieLogger logger;
    EXPECT_STREQ(logger.GetText(), "");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(logger.Reserved0(&logger), nullptr);
        EXPECT_FALSE(logger.Reserved1(&logger));
        EXPECT_STREQ(logger.Reserved2(), "");
        logger.Log("x", "1");
    }
}

TEST(MovieLogger, EntryCarriesTheCallingThreadAndEndsWithAComma) {
    CMovieLogger logger;
    EXPECT_TRUE(logger.Log("output file error", "63"));
    EXPECT_TRUE(logger.Log("no location", nullptr));
    const std::vector<std::string> lines = Lines(logger.GetText());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], kEntry)) << lines[0];
    const std::string tid = ".." + std::to_string(Platform::CurrentThreadId()) + "]";
    EXPECT_NE(lines[0].find(tid), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("],output file error,63"), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 12), "no location,");
}

TEST(MovieLogger, ConcurrentEntriesNeverInterleave) {
    CMovieLogger logger;
    constexpr int kPerThread = 2000;
    auto writer = [&logger](const char* message) {
        for (int i = 0; i < kPerThread; ++i)
            logger.Log(message, "7");
    };
    std::thread reader([&logger] {
        for (int i = 0; i < 50; ++i)
            EXPECT_NE(logger.GetText(), nullptr);
    });
    std::thread a(writer, "first writer's message");
    std::thread b(writer, "second");
    a.join();
    b.join();
    reader.join();
    const std::vector<std::string> lines = Lines(logger.GetText());
    ASSERT_EQ(lines.size(), 2u * kPerThread);
    int first = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, kEntry)) << line;
        first += line.find("],first writer's message,7") != std::string::npos;
    }
    EXPECT_EQ(first, kPerThread);
}

// Without a bound logger a report goes to standard output as "message, location".
TEST(ModuleLogger, FallsBackToStandardOutputWhenBindingFails) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        SetModuleLogger(LoadLoggerFrom("/nonexistent/libvantrel.so"));
        int status = ModuleLogger() == nullptr ? 0 : 2;
        try {
            ReportError("av_open_input_file error.", "147");
            status = 3;
        } catch (const EngineError& error) {
            if (error.location() != "147")
                status = 4;
        }
        _exit(status);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, n);
    close(pipeEnds[0]);
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(output, "av_open_input_file error., 147");
}

TEST(ModuleLogger, BoundLoggerReceivesReports) {
    CMovieLogger logger;
    ISystemLogger* previous = ModuleLogger();
    SetModuleLogger(&logger);
    EXPECT_THROW(ReportError("avcodec_open error.", "301"), EngineError);
    SetModuleLogger(previous);
    EXPECT_NE(std::string(logger.GetText()).find("],avcodec_open error.,301\n"), std::string::npos);
}
