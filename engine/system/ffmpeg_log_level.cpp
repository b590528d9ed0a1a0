#include "system/ffmpeg_log_level.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "system/ffmpeg_log_sink.h"

namespace SystemBased {
namespace {

int ParseLevel(const char* text) {
    static const struct {
        const char* name;
        int level;
    } kLevels[] = {{"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC}, {"fatal", AV_LOG_FATAL},
                   {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING},
                   {"info", AV_LOG_INFO},       {"verbose", AV_LOG_VERBOSE},
                   {"debug", AV_LOG_DEBUG},     {"trace", AV_LOG_TRACE}};
    for (const auto& entry : kLevels)
        if (std::strcmp(text, entry.name) == 0)
            return entry.level;
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    return (end != text && *end == '\0') ? static_cast<int>(number) : AV_LOG_ERROR;
}

}  // namespace

void ApplyFfmpegLogLevel() {
    const char* requested = std::getenv("VANTREL_FFMPEG_LOGLEVEL");
    const int console = requested ? ParseLevel(requested) : AV_LOG_QUIET;
    const int logged = std::max(AV_LOG_WARNING, console);
    // FFmpeg code that asks the level before doing costly work for a message sees the same.
    av_log_set_level(logged);
    InstallFfmpegLogSink(logged, console);
}

}  // namespace SystemBased
