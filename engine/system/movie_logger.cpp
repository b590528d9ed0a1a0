#include "system/movie_logger.h"

#include <cstdio>

#include "system/platform.h"
#include "vantrel/vantrel.h"

namespace SystemBased {

void* CMovieLogger::Reserved0(void*) {
    return nullptr;
}

bool CMovieLogger::Reserved1(void*) {
    return false;
}

const char* CMovieLogger::Reserved2() {
    return "";
}

std::string CMovieLogger::FormatEntry(const std::tm& t, uint64_t threadId, const char* message,
                                      const char* location) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "[%04d%02d%02d-%02d:%02d:%02d..%llu],", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  static_cast<unsigned long long>(threadId));
    std::string entry(stamp);
    entry += message ? message : "";
    entry += ',';
    if (location)
        entry += location;
    entry += '\n';
    return entry;
}

bool CMovieLogger::Log(const char* message, const char* location) {
    const std::string entry =
        FormatEntry(Platform::LocalTime(Platform::WallClockNow().tv_sec),
                    Platform::CurrentThreadId(), message, location);
    std::lock_guard<std::mutex> lock(textLock_);
    text_ += entry;
    return true;
}

const char* CMovieLogger::GetText() {
    // A private copy per calling thread, so that a later Log on another thread cannot move
    // the characters under the reader.
    thread_local std::string snapshot;
    std::lock_guard<std::mutex> lock(textLock_);
    snapshot = text_;
    return snapshot.c_str();
}

CMovieLogger& CMovieLogger::Instance() {
    static CMovieLogger logger;
    return logger;
}

}  // namespace SystemBased

extern "C" VANTREL_EXPORT SystemBased::ISystemLogger* GetSystemLogger() {
    return &SystemBased::CMovieLogger::Instance();
}
