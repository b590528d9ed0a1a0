// FFmpeg's console lines, taken into the engine log instead of the terminal: the program reads
// its log to tell the user why a conversion failed, and a stray "[ipod @ 0x...] ..." on the
// terminal helps nobody.
#pragma once

namespace SystemBased {

// Sends each complete FFmpeg line at loggedLevel or more severe into the engine log (location
// "ffmpeg"), with FFmpeg's "[name @ 0x...] " prefix and without the newline; lines at
// consoleLevel or more severe are also printed on standard error (AV_LOG_QUIET: none). Called
// again, it only changes the levels. Safe from any thread.
void InstallFfmpegLogSink(int loggedLevel, int consoleLevel);

}  // namespace SystemBased
