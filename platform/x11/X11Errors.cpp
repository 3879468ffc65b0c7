#include "platform/x11/X11Errors.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

namespace platform::x11 {

namespace {

struct TWatched {
  Display* Dpy;
  int Error;       // first error since the last Take, 0 none
  bool Lost;       // the connection broke
};

// Xlib's error handler is one per process, so the displays it serves are too.
struct TTrapTable {
  std::mutex Lock;
  std::vector<TWatched> Displays;
  XErrorHandler Previous = nullptr;
  XIOErrorHandler PreviousIO = nullptr;
};

TTrapTable& Table() {
  static TTrapTable* table = new TTrapTable;  // outlives every connection
  return *table;
}

TWatched* Find(TTrapTable& t, Display* d) {
  auto it = std::find_if(t.Displays.begin(), t.Displays.end(), [d](const TWatched& w) { return w.Dpy == d; });
  return it == t.Displays.end() ? nullptr : &*it;
}

int OnXError(Display* d, XErrorEvent* e) {
  TTrapTable& t = Table();
  XErrorHandler previous;
  {
    std::lock_guard lock(t.Lock);
    if (TWatched* w = Find(t, d)) {
      if (w->Error == 0) w->Error = e->error_code;
      return 0;
    }
    previous = t.Previous;
  }
  return previous ? previous(d, e) : 0;
}

// A broken connection of ours is recorded instead of printed; others go to
// the handler installed before.
int OnIOError(Display* d) {
  TTrapTable& t = Table();
  XIOErrorHandler previous;
  {
    std::lock_guard lock(t.Lock);
    if (TWatched* w = Find(t, d)) {
      w->Lost = true;
      return 0;
    }
    previous = t.PreviousIO;
  }
  return previous ? previous(d) : 0;
}

// Called instead of exit() when the connection breaks; Xlib calls then fail.
void OnIOErrorExit(Display* d, void*) {
  TTrapTable& t = Table();
  std::lock_guard lock(t.Lock);
  if (TWatched* w = Find(t, d)) w->Lost = true;
}

}  // namespace

TXErrorTrap::TXErrorTrap(Display* ADisplay) : FDisplay(ADisplay) {
  TTrapTable& t = Table();
  std::lock_guard lock(t.Lock);
  static std::once_flag installed;
  std::call_once(installed, [&t] {
    t.Previous = XSetErrorHandler(&OnXError);
    t.PreviousIO = XSetIOErrorHandler(&OnIOError);
  });
  t.Displays.push_back({ADisplay, 0, false});
  XSetIOErrorExitHandler(ADisplay, &OnIOErrorExit, nullptr);
}

TXErrorTrap::~TXErrorTrap() {
  TTrapTable& t = Table();
  std::lock_guard lock(t.Lock);
  std::erase_if(t.Displays, [this](const TWatched& w) { return w.Dpy == FDisplay; });
}

int TXErrorTrap::Sync() {
  if (!ConnectionLost()) XSync(FDisplay, False);
  return Take();
}

int TXErrorTrap::Take() {
  TTrapTable& t = Table();
  std::lock_guard lock(t.Lock);
  TWatched* w = Find(t, FDisplay);
  if (!w) return 0;
  if (w->Lost) return EPIPE;
  const int e = w->Error;
  w->Error = 0;
  return e;
}

bool TXErrorTrap::ConnectionLost() const {
  TTrapTable& t = Table();
  std::lock_guard lock(t.Lock);
  TWatched* w = Find(t, FDisplay);
  return w && w->Lost;
}

}  // namespace platform::x11
