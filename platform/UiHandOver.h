#pragma once
// Handing work to the UI thread.
//
// Work that belongs to the UI thread (log events, progress events, preview
// painting) is handed to it; the calling thread either waits for it to run
// (RunOnUiThread) or goes on (PostToUiThread). A UI thread that waits for
// another thread keeps serving hand-overs while it waits (WaitServing), so
// the two never wait for each other.
//
// With a running Qt application the hand-overs are also delivered through
// Qt's event loop, so the UI thread serves them whether it sits in the event
// loop, in a modal dialog or in WaitServing. Without one (headless tools and
// tests) a designated thread plays the UI thread and serves them from
// WaitServing or ServeHandOvers. With no UI thread designated at all, every
// hand-over runs directly on the calling thread.

#include <cstdint>
#include <functional>

#include "platform/Threads.h"

namespace platform::ui {

// Makes the calling thread the UI thread (main() calls it on Qt's thread).
void DesignateUiThread();
// Forgets the UI thread; pending hand-overs then run on their callers.
void ReleaseUiThread();
bool HasUiThread();
bool IsUiThread();

// Runs the call on the UI thread and waits for it. Runs it directly when the
// caller is the UI thread or no UI thread is designated. An exception thrown
// by the call is rethrown to the caller.
void RunOnUiThread(const std::function<void()>& call);

// Queues the call for the UI thread without waiting (runs it directly when
// no UI thread is designated).
void PostToUiThread(std::function<void()> call);

// Runs the hand-overs queued so far; returns how many ran. UI thread only.
int ServeHandOvers();

// UI thread: waits until the event is set, serving hand-overs meanwhile.
// timeoutMs < 0 waits without limit. Returns true when the event is set.
bool WaitServing(const TEvent& event, int64_t timeoutMs = -1);
// UI thread: waits until done() is true, serving hand-overs meanwhile.
bool WaitServing(const std::function<bool()>& done, int64_t timeoutMs = -1);

}  // namespace platform::ui
