// FFmpeg's console lines as the engine log receives them: whole lines with their prefix, from
// any thread, never on the terminal unless a developer asks for them.
#include "system/ffmpeg_log_sink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "stderr_capture.h"
#include "system/ffmpeg_log_level.h"
#include "system/module_logger.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/version.h>
}

using namespace SystemBased;

namespace {

// Takes the module logger's place while it lives; any thread may log into it.
class Entries final : public ISystemLogger {
public:
    using Entry = std::pair<std::string, std::string>;  // message, location

    Entries() : previous_(ModuleLogger()) { SetModuleLogger(this); }
    ~Entries() { SetModuleLogger(previous_); }

    void* Reserved0(void*) override { return nullptr; }
    bool Reserved1(void*) override { return false; }
    const char* Reserved2() override { return ""; }
    const char* GetText() override { return ""; }
    bool Log(const char* message, const char* location) override {
        if (whileLogging_)
            whileLogging_();
        std::lock_guard<std::mutex> hold(lock_);
        entries_.emplace_back(message ? message : "", location ? location : "");
        return true;
    }

    std::vector<Entry> all() {
        std::lock_guard<std::mutex> hold(lock_);
        return entries_;
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const Entry& entry : all())
            texts.push_back(entry.first);
        return texts;
    }
    void WhileLogging(void (*action)()) { whileLogging_ = action; }

private:
    ISystemLogger* previous_;
    void (*whileLogging_)() = nullptr;
    std::mutex lock_;
    std::vector<Entry> entries_;
};

// Something FFmpeg can name in a line's prefix, as it names its own contexts.
struct NamedContext {
    const AVClass* av_class;
};

AVClass ProbeClass() {
    AVClass probe{};
    probe.class_name = "probe";
    probe.item_name = av_default_item_name;
    probe.version = LIBAVUTIL_VERSION_INT;
    return probe;
}

const AVClass kProbeClass = ProbeClass();
NamedContext g_probe{&kProbeClass};

// "[probe @ 0x...] text", with the address of g_probe.
std::string Prefixed(const std::string& text) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[probe @ %p] ", static_cast<void*>(&g_probe));
    return prefix + text;
}

// Sets VANTREL_FFMPEG_LOGLEVEL and applies it; restores the default on the way out.
class RequestedLevel {
public:
    explicit RequestedLevel(const char* level) {
        ::setenv("VANTREL_FFMPEG_LOGLEVEL", level, 1);
        ApplyFfmpegLogLevel();
    }
    ~RequestedLevel() {
        ::unsetenv("VANTREL_FFMPEG_LOGLEVEL");
        ApplyFfmpegLogLevel();
    }
};

}  // namespace

TEST(FfmpegLogSink, ALineWrittenInPiecesArrivesOnceWithItsPrefixAndWithoutItsNewline) {
    Entries log;
    av_log(&g_probe, AV_LOG_WARNING, "first half, ");
    EXPECT_TRUE(log.all().empty()) << "nothing before the line is complete";
    av_log(&g_probe, AV_LOG_WARNING, "second half %d", 7);
    av_log(&g_probe, AV_LOG_WARNING, "\n");
    EXPECT_EQ(log.all(), std::vector<Entries::Entry>({{Prefixed("first half, second half 7"), "ffmpeg"}}));

    // A line of its own after that gets its prefix again; one without a context has none.
    av_log(&g_probe, AV_LOG_ERROR, "No streams to mux were specified\n");
    av_log(nullptr, AV_LOG_ERROR, "plain %s\n", "words");
    EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("first half, second half 7"),
                                                        Prefixed("No streams to mux were specified"),
                                                        "plain words"}));
}

TEST(FfmpegLogSink, WarningsAndWorseAreLoggedAndChatterIsNot) {
    Entries log;
    av_log(&g_probe, AV_LOG_INFO, "info\n");
    av_log(&g_probe, AV_LOG_VERBOSE, "verbose\n");
    av_log(&g_probe, AV_LOG_DEBUG, "debug\n");
    av_log(&g_probe, AV_LOG_TRACE, "trace\n");
    EXPECT_TRUE(log.all().empty());
    av_log(&g_probe, AV_LOG_WARNING, "warning\n");
    av_log(&g_probe, AV_LOG_ERROR, "error\n");
    av_log(&g_probe, AV_LOG_FATAL, "fatal\n");
    av_log(&g_probe, AV_LOG_PANIC, "panic\n");
    // Colour hints in the upper byte do not change a line's level.
    av_log(&g_probe, AV_LOG_INFO | (3 << 8), "tinted info\n");
    av_log(&g_probe, AV_LOG_WARNING | (3 << 8), "tinted warning\n");
    EXPECT_EQ(log.messages(),
              std::vector<std::string>({Prefixed("warning"), Prefixed("error"), Prefixed("fatal"),
                                        Prefixed("panic"), Prefixed("tinted warning")}));
}

TEST(FfmpegLogSink, OnePieceWithSeveralLinesGivesOneEntryEach) {
    Entries log;
    av_log(&g_probe, AV_LOG_WARNING, "one\ntwo\n\nthree");
    EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("one"), "two"}));
    av_log(&g_probe, AV_LOG_WARNING, " and a half\n");
    EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("one"), "two", "three and a half"}))
        << "an empty line is no entry, and the line left open goes on without a prefix";
    av_log(nullptr, AV_LOG_WARNING, "tag \x1b[31m%s\x07\r\n", "red");
    EXPECT_EQ(log.messages().back(), "tag ?[31mred?") << "control characters cannot break the log";
}

TEST(FfmpegLogSink, ARepeatedLineIsLoggedOnceAndCounted) {
    Entries log;
    for (int i = 0; i < 5; ++i)
        av_log(&g_probe, AV_LOG_WARNING, "Header missing\n");
    EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("Header missing")}));
    av_log(&g_probe, AV_LOG_WARNING, "something else\n");
    av_log(&g_probe, AV_LOG_WARNING, "Header missing\n");
    EXPECT_EQ(log.messages(),
              std::vector<std::string>({Prefixed("Header missing"), "Last message repeated 4 times",
                                        Prefixed("something else"), Prefixed("Header missing")}));
}

TEST(FfmpegLogSink, AnOverlongLineIsCutAndTheNextOneIsWhole) {
    Entries log;
    const std::string xs(5000, 'x'), ys(5000, 'y'), zs(5000, 'z');
    av_log(&g_probe, AV_LOG_WARNING, "%s\n", xs.c_str());
    // Cut in the first piece; the second, whose newline is cut off too, still ends the line.
    av_log(&g_probe, AV_LOG_WARNING, "%s", ys.c_str());
    av_log(&g_probe, AV_LOG_WARNING, "%s\n", zs.c_str());
    av_log(&g_probe, AV_LOG_WARNING, "short\n");
    const std::vector<std::string> messages = log.messages();
    ASSERT_EQ(messages.size(), 3u);
    const std::string starts[] = {Prefixed("xxx"), Prefixed("yyy")};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messages[i].rfind(starts[i], 0), 0u) << i;
        EXPECT_GE(messages[i].size(), 1000u) << i;
        EXPECT_LT(messages[i].size(), 1024u) << i;
        EXPECT_EQ(messages[i].find_first_of("\nz"), std::string::npos) << i;
    }
    EXPECT_EQ(messages[2], Prefixed("short"));
}

TEST(FfmpegLogSink, NothingReachesStandardErrorByDefault) {
    Entries log;
    StderrCapture console;
    ASSERT_TRUE(console.active());
    av_log(&g_probe, AV_LOG_ERROR, "File ended prematurely\n");
    av_log(&g_probe, AV_LOG_WARNING, "a warning\n");
    av_log(&g_probe, AV_LOG_INFO, "some info\n");
    EXPECT_EQ(console.Text(), "");
    EXPECT_EQ(log.messages(),
              std::vector<std::string>({Prefixed("File ended prematurely"), Prefixed("a warning")}));
}

TEST(FfmpegLogSink, ARequestedLevelIsAlsoPrintedOnStandardError) {
    {
        Entries log;
        StderrCapture console;
        ASSERT_TRUE(console.active());
        RequestedLevel info("info");
        av_log(&g_probe, AV_LOG_INFO, "stream mapping\n");
        av_log(&g_probe, AV_LOG_ERROR, "broken\n");
        av_log(&g_probe, AV_LOG_VERBOSE, "too chatty\n");
        EXPECT_EQ(console.Text(), Prefixed("stream mapping") + "\n" + Prefixed("broken") + "\n");
        EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("stream mapping"), Prefixed("broken")}));
    }
    {
        // Asking for less than warnings still logs the warnings, but prints only what was asked.
        Entries log;
        StderrCapture console;
        ASSERT_TRUE(console.active());
        RequestedLevel error("error");
        av_log(&g_probe, AV_LOG_WARNING, "unusual\n");
        av_log(&g_probe, AV_LOG_ERROR, "failed\n");
        EXPECT_EQ(console.Text(), Prefixed("failed") + "\n");
        EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("unusual"), Prefixed("failed")}));
    }
    Entries log;
    StderrCapture console;
    av_log(&g_probe, AV_LOG_ERROR, "quiet again\n");
    EXPECT_EQ(console.Text(), "") << "the default is back";
    EXPECT_EQ(av_log_get_level(), AV_LOG_WARNING);
}

TEST(FfmpegLogSink, ALoggerThatCallsFfmpegDoesNotLoopBack) {
    Entries log;
    log.WhileLogging([] { av_log(&g_probe, AV_LOG_ERROR, "from inside the logger\n"); });
    av_log(&g_probe, AV_LOG_ERROR, "outer\n");
    log.WhileLogging(nullptr);
    av_log(&g_probe, AV_LOG_ERROR, "after\n");
    EXPECT_EQ(log.messages(), std::vector<std::string>({Prefixed("outer"), Prefixed("after")}));
}

TEST(FfmpegLogSink, ThreadsWritingPiecesAtOnceKeepTheirLinesApart) {
    Entries log;
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                av_log(&g_probe, AV_LOG_WARNING, "thread %d ", t);
                std::this_thread::yield();
                av_log(&g_probe, AV_LOG_WARNING, "line %d", i);
                av_log(&g_probe, AV_LOG_WARNING, "\n");
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    std::map<int, int> nextOf;
    const std::vector<Entries::Entry> entries = log.all();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kLines));
    const std::string prefix = Prefixed("");
    for (const Entries::Entry& entry : entries) {
        EXPECT_EQ(entry.second, "ffmpeg");
        ASSERT_EQ(entry.first.rfind(prefix, 0), 0u) << entry.first;
        int t = -1, i = -1, end = 0;
        ASSERT_EQ(std::sscanf(entry.first.c_str() + prefix.size(), "thread %d line %d%n", &t, &i, &end), 2)
            << entry.first;
        ASSERT_EQ(prefix.size() + static_cast<size_t>(end), entry.first.size()) << entry.first;
        EXPECT_EQ(i, nextOf[t]++) << "each thread's lines whole and in order";
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(nextOf[t], kLines) << t;
}
