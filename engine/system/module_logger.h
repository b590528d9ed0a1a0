// How engine code reports a failure: a message and a location number, through the logger that
// the library bound to itself at load time, or on standard output when that binding failed.
#pragma once

#include <stdexcept>
#include <string>

#include "vantrel/interfaces.h"

namespace SystemBased {

// Raised inside the engine; interface operations turn it into their failure value.
class EngineError : public std::runtime_error {
public:
    EngineError(const std::string& message, const std::string& location)
        : std::runtime_error(message), location_(location) {}
    const std::string& location() const { return location_; }

private:
    std::string location_;
};

// Finds GetSystemLogger in the shared object at libraryPath; null when it cannot.
ISystemLogger* LoadLoggerFrom(const char* libraryPath);

ISystemLogger* ModuleLogger();
void SetModuleLogger(ISystemLogger* logger);

// Logs through the module logger, or prints "message, location" on standard output; also
// into the calling thread's task log when it has one.
void ReportMessage(const char* message, const char* location);

// Reports, then raises EngineError.
[[noreturn]] void ReportError(const char* message, const char* location);

}  // namespace SystemBased
