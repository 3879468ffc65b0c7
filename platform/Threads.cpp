#include "platform/Threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace platform {

ThreadId CurrentThreadId() { return static_cast<ThreadId>(::syscall(SYS_gettid)); }

void SleepMs(int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  else std::this_thread::yield();
}

void TEvent::Set() {
  // Notify while holding the lock: a waiter that sees the event set may
  // destroy it at once (a local "started" event, say), so the notification
  // must be over before the lock is released.
  std::lock_guard lock(FMutex);
  FSet = true;
  FCond.notify_all();
}

void TEvent::Reset() {
  std::lock_guard lock(FMutex);
  FSet = false;
}

bool TEvent::IsSet() const {
  std::lock_guard lock(FMutex);
  return FSet;
}

bool TEvent::Wait(int64_t timeoutMs) const {
  std::unique_lock lock(FMutex);
  if (timeoutMs < 0) {
    FCond.wait(lock, [this] { return FSet; });
    return true;
  }
  return FCond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FSet; });
}

void TThread::Start(std::function<void()> body) {
  Join();
  FFinished.Reset();
  TEvent started;
  FThread = std::thread([this, &started, body = std::move(body)] {
    FId = CurrentThreadId();
    started.Set();
    // The finished event is set however the body ends.
    struct Done {
      TEvent& e;
      ~Done() { e.Set(); }
    } done{FFinished};
    body();
  });
  started.Wait();
}

void TThread::Join() {
  if (FThread.joinable()) FThread.join();
}

}  // namespace platform
