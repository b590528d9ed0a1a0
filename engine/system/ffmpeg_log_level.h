#pragma once

namespace SystemBased {

// FFmpeg's warnings and errors go into the engine log and nothing reaches the terminal, unless
// VANTREL_FFMPEG_LOGLEVEL names a level ("quiet", "error", "warning", "info", "verbose",
// "debug", "trace" or a number): lines down to it are then logged and printed on standard
// error as well.
void ApplyFfmpegLogLevel();

}  // namespace SystemBased
