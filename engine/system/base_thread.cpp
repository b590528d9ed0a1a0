#include "system/base_thread.h"

#include <atomic>
#include <new>

#include <boost/thread/thread.hpp>

#include "system/platform.h"

namespace SystemBased {
namespace {

std::atomic<int> g_failingStarts{0};

bool TakeInjectedFailure() {
    int left = g_failingStarts.load();
    while (left > 0 && !g_failingStarts.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}

}  // namespace

CBaseThread::CBaseThread(const char* name) : name_(name) {}

CBaseThread::~CBaseThread() {
    std::lock_guard<std::mutex> lock(threadLock_);
    if (!thread_ || !thread_->joinable())
        return;
    // A worker that ends its own object cannot wait for itself.
    if (thread_->get_id() == boost::this_thread::get_id())
        thread_->detach();
    else
        thread_->join();
}

void CBaseThread::Start() {
    if (TakeInjectedFailure())
        throw boost::thread_resource_error(EAGAIN, "injected thread start failure");
    auto thread = std::make_unique<boost::thread>([this] {
        Platform::NameCurrentThread(name_);
        Run();
    });
    std::lock_guard<std::mutex> lock(threadLock_);
    thread_ = std::move(thread);
}

bool CBaseThread::TryStart() {
    try {
        Start();
        return true;
    } catch (const boost::thread_resource_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CBaseThread::Join() {
    std::lock_guard<std::mutex> lock(threadLock_);
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

void FailNextThreadStarts(int count) {
    g_failingStarts.store(count > 0 ? count : 0);
}

}  // namespace SystemBased
