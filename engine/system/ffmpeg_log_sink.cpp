#include "system/ffmpeg_log_sink.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "system/module_logger.h"
#include "system/task_log.h"

namespace SystemBased {
namespace {

// Longer lines are cut, as FFmpeg's own console cuts them.
constexpr size_t kLineSize = 1024;

std::atomic<int> g_loggedLevel{AV_LOG_WARNING};
std::atomic<int> g_consoleLevel{AV_LOG_QUIET};

// One thread's share: the line FFmpeg is writing, in pieces, and the line it wrote before.
// Plain bytes needing neither construction nor destruction, since FFmpeg may log on a thread
// that is ending, or from a static destructor after the thread's objects are gone.
struct ThreadLines {
    char text[kLineSize];
    size_t length;
    int level;       // the most severe level among the line's pieces
    bool continued;  // the last piece did not end its line: the next one gets no prefix
    bool inside;     // this thread is in the callback already
    char previous[kLineSize];
    size_t previousLength;
    int previousLevel;
    const TaskLog* previousLog;  // where the previous line went
    unsigned repeats;            // times the previous line came again, not logged
};

thread_local ThreadLines t_lines{};

void Deliver(const char* text, size_t length, int level) {
    ReportMessage(text, "ffmpeg");
    if (level > g_consoleLevel.load(std::memory_order_relaxed))
        return;
    // One write per line, so that lines of different threads never interleave.
    char line[kLineSize + 1];
    std::memcpy(line, text, length);
    line[length] = '\n';
    std::fwrite(line, 1, length + 1, stderr);
}

// A line that repeats the previous one of the same thread and task is counted, not logged:
// a damaged stream can say the same thing for every packet.
void EndLine(ThreadLines& lines) {
    const size_t length = lines.length;
    lines.length = 0;
    if (length == 0)
        return;
    lines.text[length] = '\0';
    const TaskLog* log = CurrentTaskLog();
    const bool sameTask = log == lines.previousLog;
    if (sameTask && length == lines.previousLength &&
        std::memcmp(lines.text, lines.previous, length) == 0) {
        ++lines.repeats;
        return;
    }
    if (sameTask && lines.repeats > 0) {
        char note[64];
        const int noted =
            std::snprintf(note, sizeof note, "Last message repeated %u times", lines.repeats);
        Deliver(note, static_cast<size_t>(noted), lines.previousLevel);
    }
    lines.repeats = 0;
    Deliver(lines.text, length, lines.level);
    std::memcpy(lines.previous, lines.text, length + 1);
    lines.previousLength = length;
    lines.previousLevel = lines.level;
    lines.previousLog = log;
}

void CollectLine(void* context, int level, const char* format, va_list args) {
    // The upper byte carries colour hints for the console.
    const int severity = level >= 0 ? (level & 0xff) : level;
    if (severity > g_loggedLevel.load(std::memory_order_relaxed))
        return;
    ThreadLines& lines = t_lines;
    if (lines.inside)
        return;
    lines.inside = true;
    char piece[kLineSize];
    int printPrefix = lines.continued ? 0 : 1;
    av_log_format_line2(context, level, format, args, piece, sizeof piece, &printPrefix);
    if (lines.length > 0)
        lines.level = std::min(lines.level, severity);
    for (const char* c = piece; *c != '\0'; ++c) {
        if (*c == '\n') {
            EndLine(lines);
            continue;
        }
        if (*c == '\r')
            continue;
        if (lines.length == 0)
            lines.level = severity;
        // Text from a damaged file may hold anything; the log is read line by line.
        const bool control = static_cast<unsigned char>(*c) < 0x20 && *c != '\t';
        if (lines.length < kLineSize - 1)
            lines.text[lines.length++] = control ? '?' : *c;
    }
    // FFmpeg says whether the whole piece ended its line, even when the piece was cut short.
    lines.continued = printPrefix == 0;
    if (!lines.continued)
        EndLine(lines);
    lines.inside = false;
}

}  // namespace

void InstallFfmpegLogSink(int loggedLevel, int consoleLevel) {
    g_loggedLevel.store(loggedLevel, std::memory_order_relaxed);
    g_consoleLevel.store(consoleLevel, std::memory_order_relaxed);
    static std::atomic<bool> installed{false};
    if (!installed.exchange(true))
        av_log_set_callback(CollectLine);
}

}  // namespace SystemBased
