#include "system/module_logger.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>

#include "system/ffmpeg_log_level.h"
#include "system/narrowing_table.h"
#include "system/platform.h"
#include "system/task_log.h"

namespace SystemBased {
namespace {

std::atomic<ISystemLogger*> g_moduleLogger{nullptr};

// Set-up when the library is loaded: FFmpeg's log level, the narrowing table, and the binding
// of the engine to its own exported logger.
struct LoadTimeBinding {
    LoadTimeBinding() {
        ApplyFfmpegLogLevel();
        PrimeNarrowingTable();
        const std::string self = Platform::OwnModulePath();
        SetModuleLogger(self.empty() ? nullptr : LoadLoggerFrom(self.c_str()));
    }
};

const LoadTimeBinding g_binding;

}  // namespace

ISystemLogger* LoadLoggerFrom(const char* libraryPath) {
    if (libraryPath == nullptr)
        return nullptr;
    // The library is already mapped when this runs: take a handle without loading it again.
    void* handle = ::dlopen(libraryPath, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return nullptr;
    using GetLogger = ISystemLogger* (*)();
    auto getLogger = reinterpret_cast<GetLogger>(::dlsym(handle, "GetSystemLogger"));
    ISystemLogger* logger = getLogger ? getLogger() : nullptr;
    ::dlclose(handle);
    return logger;
}

ISystemLogger* ModuleLogger() {
    return g_moduleLogger.load(std::memory_order_acquire);
}

void SetModuleLogger(ISystemLogger* logger) {
    g_moduleLogger.store(logger, std::memory_order_release);
}

void ReportMessage(const char* message, const char* location) {
    if (TaskLog* taskLog = CurrentTaskLog())
        taskLog->Append(message, location);
    if (ISystemLogger* logger = ModuleLogger()) {
        logger->Log(message, location);
        return;
    }
    std::printf("%s, %s", message ? message : "", location ? location : "");
    std::fflush(stdout);
}

void ReportError(const char* message, const char* location) {
    ReportMessage(message, location);
    throw EngineError(message ? message : "", location ? location : "");
}

}  // namespace SystemBased
