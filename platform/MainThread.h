#pragma once
// The event thread's synchronous hand-over to the main thread. A worker queues work and
// waits until the main thread has run it; the main thread runs the queue when it drains
// it (the window from its event loop, woken by the wake-up callback; tests drain it
// themselves). A main thread that waits for a worker keeps draining, so a worker that is
// waiting in a hand-over cannot deadlock it.

#include <cstddef>
#include <functional>

// Called on the posting thread each time work is queued.
void SetMainThreadWakeup(std::function<void()> wakeup);
// Runs work on the main thread and returns once it has run; what it throws is rethrown
// here. On the main thread itself it runs at once.
void RunOnMainThread(const std::function<void()>& work);
// Runs the queued work on the calling thread; returns how many items ran.
std::size_t DrainMainThreadQueue();
// Waits until done() is true, running queued work meanwhile. done() is asked again
// whenever work is queued or NotifyMainThread() is called.
void ServeMainThreadUntil(const std::function<bool()>& done);
void NotifyMainThread();
