#pragma once
// Which window lies under the mouse pointer, for the window picker.

#include <memory>

#include "platform/ScreenSource.h"

namespace platform {

struct TPointedWindow {
  TWindowId Window = 0;  // the deepest window under the pointer
  TRect Rect;            // its inside in screen coordinates
  int PointerX = 0, PointerY = 0;
};

class TWindowQuery {
 public:
  virtual ~TWindowQuery() = default;
  // The deepest window under the pointer, looking through ASkip (the
  // picker's own window) and its children. False when the display is gone
  // or the window vanished while it was asked about.
  virtual bool WindowUnderPointer(TWindowId ASkip, TPointedWindow& AResult) = 0;
};

// A query on a private connection to $DISPLAY; nullptr without a display.
std::unique_ptr<TWindowQuery> OpenWindowQuery();

}  // namespace platform
