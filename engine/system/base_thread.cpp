#include "system/base_thread.h"

#include <boost/thread/thread.hpp>

#include "system/platform.h"

namespace SystemBased {

CBaseThread::CBaseThread() = default;

CBaseThread::~CBaseThread() {
    if (thread_ && thread_->joinable())
        thread_->detach();
}

void CBaseThread::Start() {
    thread_ = std::make_unique<boost::thread>([this] { Run(); });
}

bool CBaseThread::Join() {
    if (!thread_ || !thread_->joinable())
        return false;
    thread_->join();
    return true;
}

void SleepMilliseconds(uint32_t milliseconds) {
    boost::this_thread::sleep_for(boost::chrono::milliseconds(milliseconds));
}

int GetProcessorCount() {
    return Platform::ProcessorCount();
}

int64_t GetCurrentMicroseconds() {
    return Platform::MicrosecondsSinceEpoch(Platform::WallClockNow());
}

}  // namespace SystemBased
