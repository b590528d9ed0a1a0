// Base of every engine object that runs a worker thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace boost {
class thread;
}

namespace SystemBased {

class CBaseThread {
public:
    // name: what the thread is called in top -H and gdb, a string that outlives the thread.
    explicit CBaseThread(const char* name = "vantrel");
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    // The worker's body; called once on the new thread.
    virtual void Run() = 0;

    // Throws boost::thread_resource_error when the system has no thread to give.
    void Start();
    // Start for callers that go on without the thread: false instead of an exception when
    // none can be created (a process limit, no memory for its stack).
    bool TryStart();
    // Waits for Run to return; false when there was no thread to wait for, so a second Join
    // is harmless.
    bool Join();

protected:
    // Joins a thread that is still running rather than leave it using a destroyed object.
    // Owners still stop and join their worker first: by now the derived part is gone.
    virtual ~CBaseThread();

private:
    const char* name_;
    std::mutex threadLock_;  // Join may race with the destructor of an owner on another thread
    std::unique_ptr<boost::thread> thread_;
};

void SleepMilliseconds(uint32_t milliseconds);
int GetProcessorCount();
int64_t GetCurrentMicroseconds();

// Test seam: the next count thread starts fail as if the process had run out of threads.
void FailNextThreadStarts(int count);

}  // namespace SystemBased
