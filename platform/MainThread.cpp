#include "MainThread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {

struct Handover {
  const std::function<void()>* work;
  bool done = false;
  std::exception_ptr error;
};

struct MainQueue {
  std::mutex mutex;
  std::condition_variable changed;  // work queued, work done, or a waiter's condition changed
  std::deque<Handover*> pending;
  std::function<void()> wakeup;
};

MainQueue& mainQueue() {
  static auto* queue = new MainQueue;  // never destroyed: a worker may hand over during exit
  return *queue;
}

// Static initialisation runs on the thread that starts the program.
const std::thread::id mainThreadId = std::this_thread::get_id();

}  // namespace

void SetMainThreadWakeup(std::function<void()> wakeup) {
  MainQueue& queue = mainQueue();
  std::lock_guard lock(queue.mutex);
  queue.wakeup = std::move(wakeup);
}

void RunOnMainThread(const std::function<void()>& work) {
  if (std::this_thread::get_id() == mainThreadId) {
    work();
    return;
  }
  MainQueue& queue = mainQueue();
  Handover handover{&work, false, nullptr};
  std::function<void()> wakeup;
  {
    std::lock_guard lock(queue.mutex);
    queue.pending.push_back(&handover);
    wakeup = queue.wakeup;
  }
  queue.changed.notify_all();
  if (wakeup) wakeup();
  {
    std::unique_lock lock(queue.mutex);
    queue.changed.wait(lock, [&] { return handover.done; });
  }
  if (handover.error) std::rethrow_exception(handover.error);
}

std::size_t DrainMainThreadQueue() {
  MainQueue& queue = mainQueue();
  std::size_t ran = 0;
  for (;;) {
    Handover* handover = nullptr;
    {
      std::lock_guard lock(queue.mutex);
      if (queue.pending.empty()) return ran;
      handover = queue.pending.front();
      queue.pending.pop_front();
    }
    try {
      (*handover->work)();
    } catch (...) {
      handover->error = std::current_exception();
    }
    {
      std::lock_guard lock(queue.mutex);
      handover->done = true;
    }
    queue.changed.notify_all();
    ++ran;
  }
}

void ServeMainThreadUntil(const std::function<bool()>& done) {
  MainQueue& queue = mainQueue();
  std::unique_lock lock(queue.mutex);
  for (;;) {
    if (!queue.pending.empty()) {
      lock.unlock();
      DrainMainThreadQueue();
      lock.lock();
    } else if (done()) {
      return;
    } else {
      queue.changed.wait(lock);
    }
  }
}

void NotifyMainThread() {
  MainQueue& queue = mainQueue();
  { std::lock_guard lock(queue.mutex); }
  queue.changed.notify_all();
}
