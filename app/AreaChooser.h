#pragma once
// How the main window asks the user for a capture area: a rectangle drawn
// with the mouse, or a window picked with the mouse. Both are modal and
// answer false when the user cancels.

#include <QRect>
#include <memory>

namespace app {

class TAreaChooser {
 public:
  virtual ~TAreaChooser() = default;
  // "Selected Area": the rectangle the user drew.
  virtual bool SelectRegion(QRect& ARegion) = 0;
  // "Window or Control": the picked window's rectangle and handle.
  virtual bool SelectWindow(QRect& ARegion, unsigned long& AHandle) = 0;
};

// Until the selection windows exist every choice behaves as a cancelled one.
class TCancelledAreaChooser : public TAreaChooser {
 public:
  bool SelectRegion(QRect&) override { return false; }
  bool SelectWindow(QRect&, unsigned long&) override { return false; }
};

}  // namespace app
