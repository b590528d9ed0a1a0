// Threads that feed an encoder (a decoder's) run some nice levels below the rest of the program.
// While every processor is busy the encoder's threads keep their share; while they wait on one
// another, as an encoder's frame threads often do, the feeding threads take the processor that
// would otherwise stand idle, so the encoder finds its next pictures ready.
#pragma once

#include <functional>

namespace SystemBased {

// How far below the program feeding threads run.
constexpr int kFeedingNiceSteps = 10;

// Lowers the calling thread to the feeding priority, for good: only for threads that end with
// their work. Best effort; a thread already lower stays where it is.
void LowerToFeedingPriority();

// Runs work on a short-lived thread called name at the feeding priority, with the caller's task
// log and thread budget, and returns once it is done. Threads the work starts keep that
// priority while the caller keeps its own. Without a thread to spare, runs work on the caller.
void RunAtFeedingPriority(const char* name, const std::function<void()>& work);

}  // namespace SystemBased
