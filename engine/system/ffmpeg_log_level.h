#pragma once

namespace SystemBased {

// FFmpeg prints only errors unless VANTREL_FFMPEG_LOGLEVEL names another level
// ("quiet", "warning", "info", "verbose", "debug", "trace" or a number).
void ApplyFfmpegLogLevel();

}  // namespace SystemBased
