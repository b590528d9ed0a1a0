#include "system/platform.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace SystemBased::Platform {

uint64_t CurrentThreadId() {
    return static_cast<uint64_t>(::syscall(SYS_gettid));
}

void NameCurrentThread(const char* name) {
    ::pthread_setname_np(::pthread_self(), name);
}

int CurrentThreadNice() {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
    return errno == 0 ? nice : 0;
}

bool LowerCurrentThreadPriorityTo(int nice) {
    // On Linux PRIO_PROCESS with a thread's id sets that thread alone.
    const int target = std::min(nice, 19);
    if (target <= CurrentThreadNice())
        return true;
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), target) == 0;
}

int ProcessNice() {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    return errno == 0 ? nice : 0;
}

int ProcessorCount() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

int64_t MicrosecondsSinceEpoch(const timespec& wallClock) {
    return static_cast<int64_t>(wallClock.tv_sec) * 1000000 + wallClock.tv_nsec / 1000;
}

timespec WallClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

std::tm LocalTime(time_t seconds) {
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return local;
}

std::string OwnModulePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

}  // namespace SystemBased::Platform
