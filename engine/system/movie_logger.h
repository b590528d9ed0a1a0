// The process-wide in-memory log.
#pragma once

#include <mutex>
#include <string>

#include "vantrel/interfaces.h"

namespace SystemBased {

class CMovieLogger final : public ISystemLogger {
public:
    CMovieLogger() = default;
    ~CMovieLogger() = default;

    void* Reserved0(void* reserved) override;
    bool Reserved1(void* reserved) override;
    const char* Reserved2() override;
    bool Log(const char* message, const char* location) override;
    const char* GetText() override;

    // The single instance behind the library's GetSystemLogger export.
    static CMovieLogger& Instance();

    // "[YYYYMMDD-hh:mm:ss..T],message,location\n"
    static std::string FormatEntry(const std::tm& localTime, uint64_t threadId,
                                   const char* message, const char* location);

private:
    std::string name_;
    int32_t reserved_ = 0;
    std::mutex textLock_;
    std::string text_;
};

}  // namespace SystemBased
