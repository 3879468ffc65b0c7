#pragma once
// Threads with platform ids, manual-reset events, critical sections and
// millisecond sleeps: the kernel services the rest of the program relies on.

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

using ThreadId = pid_t;

// The kernel's id of the calling thread (the number the log lines carry).
ThreadId CurrentThreadId();

// Sleeps the calling thread for the given number of milliseconds.
void SleepMs(int64_t ms);

// A reentrant lock, like a critical section: the owning thread may enter again.
using TCriticalSection = std::recursive_mutex;

// A manual-reset event: once set it stays set, releasing every waiter, until reset.
class TEvent {
 public:
  explicit TEvent(bool initiallySet = false) : FSet(initiallySet) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set; timeoutMs < 0 waits without limit.
  // Returns true when the event is set, false on time-out.
  bool Wait(int64_t timeoutMs = -1) const;

 private:
  mutable std::mutex FMutex;
  mutable std::condition_variable FCond;
  bool FSet;
};

// A thread that knows its platform id and is joined by its owner.
// The destructor joins, so a thread never outlives the object that owns it.
class TThread {
 public:
  TThread() = default;
  explicit TThread(std::function<void()> body) { Start(std::move(body)); }
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  ~TThread() { Join(); }

  // Starts the body on a new thread; returns once the thread's id is known.
  void Start(std::function<void()> body);
  // Waits for the thread to end (no-op when it never started or was joined).
  void Join();
  // Platform id of the thread, 0 before Start.
  ThreadId Id() const { return FId; }
  bool Running() const { return FThread.joinable() && !FFinished.IsSet(); }
  // Set when the body has returned; a UI thread can wait on it while serving
  // hand-overs (see UiHandOver.h).
  const TEvent& Finished() const { return FFinished; }

 private:
  std::thread FThread;
  ThreadId FId = 0;
  TEvent FFinished;
};

}  // namespace platform
