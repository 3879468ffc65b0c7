#pragma once
// The area selector (TFreeHandWindow): a snapshot of the desktop covering the
// whole screen, on which the user drags a rectangle with the left button
// while red guide lines and a hint show position and size. A drag with
// width and height closes it with OK and leaves the rectangle in PRegion.

#include <QDialog>
#include <QPixmap>
#include <QString>

namespace app {

// The selector's drag logic, free of any window.
class TFreeHandState {
 public:
  // A guide line: vertical lines (1, 3) at Pos on x, horizontal (2, 4) on y.
  struct TLine {
    bool Visible = false;
    int Pos = 0;
  };
  // Left, Top and, in Right and Bottom, the width and the height.
  struct TRegion {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
  };

  // The selector has just been shown: no drag, no lines.
  void Reset();
  void MouseDown(bool ALeftButton, int AX, int AY);
  void MouseMove(int AX, int AY);
  // True when the selector closes with OK.
  bool MouseUp(int AX, int AY);

  // The hint near the cursor; lines separated by line feed and carriage return.
  static QString HintText(int AX, int AY, int AWidth, int AHeight);

  TLine Shape1, Shape2, Shape3, Shape4;
  bool SelectRegion1 = false;
  bool RegionOK = false;
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TRegion PRegion;
  QString Hint;
  int HintX = 0, HintY = 0;

 private:
  void Normalise();
  void PlaceFirstCorner(int AX, int AY);
};

class TFreeHandWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TFreeHandWindow(QWidget* AParent = nullptr);
  // Takes the snapshot, covers the screen and waits for the user: true with
  // PRegion set, false when cancelled.
  bool Execute();
  const TFreeHandState& State() const { return FState; }
  TFreeHandState::TRegion PRegion() const { return FState.PRegion; }

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;

 private:
  QPixmap fBMP;
  TFreeHandState FState;
};

}  // namespace app
