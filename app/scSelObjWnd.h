#pragma once
// The window picker (TSelObjWindow): every 40 ms it frames the window under
// the mouse pointer in red, with a label above its top-left corner naming the
// key that takes it. The picker's window is cut to the frame and the label
// and lets every click through; the main window's Choose-window hot key
// closes it with OK, leaving the window's rectangle in PRegion and its X
// window id in Hand.

#include <QDialog>
#include <QRegion>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/WindowQuery.h"

namespace app {

// Where the picker goes around a window at AX, AY of AW x AH with a label of
// ATextWidth x ATextHeight: its window rectangle, the frame's rectangle in
// window coordinates (cRect) and the window's shape.
struct TPickerShape {
  QRect Window;
  QRect cRect;
  QRegion Shape;
};
TPickerShape PickerShapeAround(int AX, int AY, int AW, int AH, int ATextWidth, int ATextHeight);

class TSelObjWindow : public QDialog {
  Q_OBJECT
 public:
  // AChooseKeyText: the current Choose-window key as text ("Ctrl+Alt+C").
  TSelObjWindow(std::unique_ptr<platform::TWindowQuery> AQuery, std::function<QString()> AChooseKeyText,
                QWidget* AParent = nullptr);
  ~TSelObjWindow() override;

  // One tracking step.
  void Timer1Timer();
  void ShapeAround(int AX, int AY, int AW, int AH, const QString& AText);
  // Stops tracking and closes with OK (the Choose-window key).
  void TakeWindow();

  struct TRegion {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;  // Right, Bottom: width and height
  };
  TRegion PRegion;
  unsigned long Hand = 0;
  QTimer Timer1;
  QRect cRect;

 protected:
  void paintEvent(QPaintEvent* AEvent) override;

 private:
  std::unique_ptr<platform::TWindowQuery> FQuery;
  std::function<QString()> FChooseKeyText;
  QString FText;
};

}  // namespace app
