// Base of every engine object that runs a worker thread of its own.
#pragma once

#include <cstdint>
#include <memory>

namespace boost {
class thread;
}

namespace SystemBased {

class CBaseThread {
public:
    CBaseThread();
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    // The worker's body; called once on the new thread.
    virtual void Run() = 0;

    void Start();
    // Waits for Run to return; false when there was no thread to wait for.
    bool Join();

protected:
    // Detaches a thread that is still attached; owners stop and join their worker first.
    virtual ~CBaseThread();

private:
    std::unique_ptr<boost::thread> thread_;
};

void SleepMilliseconds(uint32_t milliseconds);
int GetProcessorCount();
int64_t GetCurrentMicroseconds();

}  // namespace SystemBased
