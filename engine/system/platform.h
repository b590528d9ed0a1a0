// The few operating-system services the engine needs, kept behind one small layer.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace SystemBased::Platform {

// The kernel's identifier of the calling thread, as shown by ps and gdb.
uint64_t CurrentThreadId();

// Names the calling thread as top -H, ps and gdb show it (at most 15 characters are kept).
void NameCurrentThread(const char* name);

// The calling thread's nice value (-20 runs first, 19 last), and a way to lower its priority to
// at least nice; an unprivileged thread can never raise it again, so only threads that end with
// their work are lowered. Lowering is best effort: false when the system refused.
int CurrentThreadNice();
bool LowerCurrentThreadPriorityTo(int nice);
// The nice value of the process's first thread, which the program's own settings start from.
int ProcessNice();

// Logical processors currently online; at least 1.
int ProcessorCount();

// Microseconds since 1970-01-01 00:00 UTC of a wall-clock reading.
int64_t MicrosecondsSinceEpoch(const timespec& wallClock);
timespec WallClockNow();

// Local calendar time of a wall-clock second.
std::tm LocalTime(time_t seconds);

// Path of the shared object (or executable) that holds this code.
std::string OwnModulePath();

}  // namespace SystemBased::Platform
