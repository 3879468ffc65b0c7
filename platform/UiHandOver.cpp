#include "platform/UiHandOver.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace platform::ui {
namespace {

struct Request {
  std::function<void()> call;
  bool waited = false;
  bool done = false;
  std::exception_ptr error;
};

// The one queue of hand-overs of the process.
struct HandOverQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<Request>> pending;
  ThreadId uiThread = 0;
};

HandOverQueue& Queue() {
  static HandOverQueue queue;
  return queue;
}

// Asks Qt's event loop to serve the queue, when there is one.
void WakeQt() {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, [] { ServeHandOvers(); }, Qt::QueuedConnection);
  }
}

void RunRequest(Request& r) {
  try {
    r.call();
  } catch (...) {
    if (r.waited) r.error = std::current_exception();
    // A posted call has nobody to report to; its failure is dropped.
  }
}

}  // namespace

void DesignateUiThread() {
  auto& q = Queue();
  std::lock_guard lock(q.mutex);
  q.uiThread = CurrentThreadId();
}

void ReleaseUiThread() {
  auto& q = Queue();
  std::deque<std::shared_ptr<Request>> orphans;
  {
    std::lock_guard lock(q.mutex);
    q.uiThread = 0;
    orphans.swap(q.pending);
  }
  // Nobody will serve them any more: run them here so no caller waits forever.
  for (auto& r : orphans) {
    RunRequest(*r);
    std::lock_guard lock(q.mutex);
    r->done = true;
  }
  q.changed.notify_all();
}

bool HasUiThread() {
  auto& q = Queue();
  std::lock_guard lock(q.mutex);
  return q.uiThread != 0;
}

bool IsUiThread() {
  auto& q = Queue();
  std::lock_guard lock(q.mutex);
  return q.uiThread != 0 && q.uiThread == CurrentThreadId();
}

void RunOnUiThread(const std::function<void()>& call) {
  auto& q = Queue();
  auto r = std::make_shared<Request>();
  {
    std::unique_lock lock(q.mutex);
    if (q.uiThread == 0 || q.uiThread == CurrentThreadId()) {
      lock.unlock();
      call();
      return;
    }
    r->call = call;
    r->waited = true;
    q.pending.push_back(r);
  }
  q.changed.notify_all();
  WakeQt();
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&] { return r->done; });
  if (r->error) std::rethrow_exception(r->error);
}

void PostToUiThread(std::function<void()> call) {
  auto& q = Queue();
  {
    std::unique_lock lock(q.mutex);
    if (q.uiThread == 0) {
      lock.unlock();
      call();
      return;
    }
    auto r = std::make_shared<Request>();
    r->call = std::move(call);
    q.pending.push_back(std::move(r));
  }
  q.changed.notify_all();
  WakeQt();
}

int ServeHandOvers() {
  auto& q = Queue();
  int served = 0;
  for (;;) {
    std::shared_ptr<Request> r;
    {
      std::lock_guard lock(q.mutex);
      if (q.uiThread != CurrentThreadId() || q.pending.empty()) break;
      r = q.pending.front();
      q.pending.pop_front();
    }
    RunRequest(*r);
    {
      std::lock_guard lock(q.mutex);
      r->done = true;
    }
    q.changed.notify_all();
    ++served;
  }
  return served;
}

bool WaitServing(const std::function<bool()>& done, int64_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  auto& q = Queue();
  for (;;) {
    ServeHandOvers();
    if (done()) return true;
    if (timeoutMs >= 0 && Clock::now() >= deadline) return false;
    // Wake on a new hand-over; re-check the condition every few milliseconds
    // because it has no way to notify this queue.
    std::unique_lock lock(q.mutex);
    q.changed.wait_for(lock, std::chrono::milliseconds(2), [&] {
      return !q.pending.empty() && q.uiThread == CurrentThreadId();
    });
  }
}

bool WaitServing(const TEvent& event, int64_t timeoutMs) {
  return WaitServing([&event] { return event.IsSet(); }, timeoutMs);
}

}  // namespace platform::ui
