#pragma once
// How the main window asks the user for a capture area: a rectangle drawn
// with the mouse, or a window picked with the mouse. Both are modal and
// answer false when the user cancels.

#include <QRect>
#include <QString>
#include <functional>
#include <memory>

namespace app {

class TAreaChooser {
 public:
  virtual ~TAreaChooser() = default;
  // "Selected Area": the rectangle the user drew.
  virtual bool SelectRegion(QRect& ARegion) = 0;
  // "Window or Control": the picked window's rectangle and handle.
  virtual bool SelectWindow(QRect& ARegion, unsigned long& AHandle) = 0;
  // The Choose-window key while a selection window shows: a window picker
  // takes the window under the pointer, an area selector is cancelled.
  virtual void ChooseKeyPressed() {}
  // Escape while a selection window shows: it is cancelled.
  virtual void CancelSelection() {}
};

// Until the selection windows exist every choice behaves as a cancelled one.
class TCancelledAreaChooser : public TAreaChooser {
 public:
  bool SelectRegion(QRect&) override { return false; }
  bool SelectWindow(QRect&, unsigned long&) override { return false; }
};

class TFreeHandWindow;
class TSelObjWindow;

// The selection windows on the screen: the area selector and the window
// picker, created afresh for every choice.
class TScreenAreaChooser : public TAreaChooser {
 public:
  // AChooseKeyText: the current Choose-window key as text, for the picker's label.
  explicit TScreenAreaChooser(std::function<QString()> AChooseKeyText);
  bool SelectRegion(QRect& ARegion) override;
  bool SelectWindow(QRect& ARegion, unsigned long& AHandle) override;
  void ChooseKeyPressed() override;
  void CancelSelection() override;

 private:
  std::function<QString()> FChooseKeyText;
  TFreeHandWindow* FFreeHand = nullptr;  // showing, owned by SelectRegion
  TSelObjWindow* FSelObj = nullptr;      // showing, owned by SelectWindow
};

}  // namespace app
