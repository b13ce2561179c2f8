#include "platform/MainThread.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace {

// Drains until the flag is set, as the window's event loop would.
void drainUntil(const std::atomic<bool>& flag) {
  while (!flag) {
    DrainMainThreadQueue();
    std::this_thread::yield();
  }
}

TEST(MainThread, AHandOverRunsOnTheDrainingThreadAndThePosterWaitsForIt) {
  std::thread::id ranOn;
  std::atomic<bool> returned = false;
  bool ranBeforeReturn = false;
  std::thread worker([&] {
    bool ran = false;
    RunOnMainThread([&] {
      ranOn = std::this_thread::get_id();
      ran = true;
    });
    ranBeforeReturn = ran;
    returned = true;
  });
  drainUntil(returned);
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(ranBeforeReturn);
  EXPECT_EQ(DrainMainThreadQueue(), 0u);
}

TEST(MainThread, WhatTheWorkThrowsReachesThePoster) {
  std::atomic<bool> returned = false;
  std::string caught;
  std::thread worker([&] {
    try {
      RunOnMainThread([] { throw std::runtime_error("line gone"); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
    returned = true;
  });
  drainUntil(returned);
  worker.join();
  EXPECT_EQ(caught, "line gone");
}

TEST(MainThread, TheWakeupRunsOnThePostingThreadForEachHandOver) {
  std::atomic<int> wakeups = 0;
  std::thread::id wokenFrom;
  SetMainThreadWakeup([&] {
    wokenFrom = std::this_thread::get_id();
    ++wakeups;
  });
  std::atomic<bool> returned = false;
  std::thread::id workerId;
  std::thread worker([&] {
    workerId = std::this_thread::get_id();
    RunOnMainThread([] {});
    RunOnMainThread([] {});
    returned = true;
  });
  drainUntil(returned);
  worker.join();
  SetMainThreadWakeup(nullptr);
  EXPECT_EQ(wakeups, 2);
  EXPECT_EQ(wokenFrom, workerId);
}

TEST(MainThread, WaitingForAWorkerKeepsServingItsHandOvers) {
  std::atomic<bool> finished = false;
  int served = 0;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) RunOnMainThread([&] { ++served; });
    finished = true;
    NotifyMainThread();
  });
  ServeMainThreadUntil([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(served, 3);
}

TEST(MainThread, OnTheMainThreadWorkRunsAtOnce) {
  bool ran = false;
  RunOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(DrainMainThreadQueue(), 0u);
}

}  // namespace
