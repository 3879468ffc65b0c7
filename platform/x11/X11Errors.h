#pragma once
// X errors of our own connections become results instead of ending the
// process: Xlib's default handlers print and exit.

#include <X11/Xlib.h>

namespace platform::x11 {

// Records the X errors of one display for as long as it lives. The process
// handler is installed on first use; errors of displays that no trap watches
// go to the handler that was installed before.
class TXErrorTrap {
 public:
  explicit TXErrorTrap(Display* ADisplay);
  ~TXErrorTrap();
  TXErrorTrap(const TXErrorTrap&) = delete;
  TXErrorTrap& operator=(const TXErrorTrap&) = delete;

  // Waits for the server to process every request sent so far and returns
  // the first error code recorded since the last call (0: none); clears it.
  int Sync();
  // The recorded error code without a round trip; clears it.
  int Take();
  // True once the connection to the server is lost.
  bool ConnectionLost() const;

 private:
  Display* FDisplay;
};

}  // namespace platform::x11
