// The area selector: its drag logic and its window.
#include "app/scFreeHandWnd.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "platform/Desktop.h"

namespace app {

// ---- Drag logic ----

void TFreeHandState::Reset() {
  RegionOK = false;
  SelectRegion1 = false;
  Shape1 = Shape2 = Shape3 = Shape4 = TLine{};
  Hint.clear();
}

void TFreeHandState::PlaceFirstCorner(int AX, int AY) {
  Shape1 = TLine{true, AX};
  Shape2 = TLine{true, AY};
  Shape3.Visible = false;
  Shape4.Visible = false;
}

void TFreeHandState::MouseDown(bool ALeftButton, int AX, int AY) {
  Hint.clear();
  if (!ALeftButton) return;
  X1 = Y1 = X2 = Y2 = 0;
  PRegion = TRegion{};
  SelectRegion1 = true;
  RegionOK = false;
  PlaceFirstCorner(AX, AY);
  X1 = AX;
  Y1 = AY;
}

void TFreeHandState::Normalise() {
  if (X2 > X1) {
    PRegion.Left = X1;
    PRegion.Right = X2 - X1;
  } else {
    PRegion.Left = X2;
    PRegion.Right = X1 - X2;
  }
  if (Y2 > Y1) {
    PRegion.Top = Y1;
    PRegion.Bottom = Y2 - Y1;
  } else {
    PRegion.Top = Y2;
    PRegion.Bottom = Y1 - Y2;
  }
}

void TFreeHandState::MouseMove(int AX, int AY) {
  if (SelectRegion1) {
    Shape1.Visible = Shape2.Visible = true;
    Shape3 = TLine{true, AX};
    Shape4 = TLine{true, AY};
    X2 = AX;
    Y2 = AY;
    RegionOK = true;
  } else if (!RegionOK) {
    PlaceFirstCorner(AX, AY);  // the crosshair follows the cursor
  }
  Normalise();
  Hint = HintText(AX, AY, PRegion.Right, PRegion.Bottom);
  HintX = AX;
  HintY = AY;
}

bool TFreeHandState::MouseUp(int, int) {
  Normalise();
  const bool discarded =
      Shape3.Pos == Shape1.Pos || Shape4.Pos == Shape2.Pos || (!Shape3.Visible && !Shape4.Visible);
  SelectRegion1 = false;
  if (discarded) {
    RegionOK = false;
    return false;
  }
  RegionOK = true;
  return PRegion.Right != 0 && PRegion.Bottom != 0;
}

QString TFreeHandState::HintText(int AX, int AY, int AWidth, int AHeight) {
  const QString newLine = "\n\r";
  QString text = "X: " + QString::number(AX) + " Y: " + QString::number(AY);
  if (AWidth != 0 && AHeight != 0)
    text += newLine + "Selected Area : " + QString::number(AWidth) + " x " + QString::number(AHeight);
  text += newLine + QString(40, '-') + newLine + "Hold down mouse and draw rectangle";
  return text;
}

// ---- Window ----

TFreeHandWindow::TFreeHandWindow(QWidget* AParent)
    : QDialog(AParent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);  // the snapshot covers everything: no background erase
  setCursor(Qt::CrossCursor);
}

bool TFreeHandWindow::Execute() {
  // The desktop as it is now, before the selector covers it.
  const QSize desktop = platform::desktop::ScreenSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) fBMP = screen->grabWindow(0, 0, 0, desktop.width(), desktop.height());
  setGeometry(0, 0, desktop.width(), desktop.height());
  FState.Reset();
  return exec() == QDialog::Accepted;
}

void TFreeHandWindow::paintEvent(QPaintEvent* AEvent) {
  QPainter p(this);
  const QRect clip = AEvent->rect();
  if (fBMP.isNull()) {
    p.fillRect(clip, Qt::black);
  } else {
    p.drawPixmap(clip, fBMP, clip);
  }
  // The guide lines: two pixels, red.
  const QColor red(255, 0, 0);
  for (const TFreeHandState::TLine* line : {&FState.Shape1, &FState.Shape3}) {
    if (line->Visible) p.fillRect(line->Pos, 0, 2, height(), red);
  }
  for (const TFreeHandState::TLine* line : {&FState.Shape2, &FState.Shape4}) {
    if (line->Visible) p.fillRect(0, line->Pos, width(), 2, red);
  }
  if (FState.Hint.isEmpty()) return;
  // The hint: a small box below and right of the cursor, kept on the screen.
  const QStringList lines = FState.Hint.split("\n\r");
  const QFontMetrics metrics(font());
  int w = 0;
  for (const QString& line : lines) w = std::max(w, metrics.horizontalAdvance(line));
  const QSize box(w + 8, int(lines.size()) * metrics.height() + 6);
  QPoint at(FState.HintX + 16, FState.HintY + 20);
  if (at.x() + box.width() > width()) at.setX(std::max(0, FState.HintX - box.width() - 4));
  if (at.y() + box.height() > height()) at.setY(std::max(0, FState.HintY - box.height() - 4));
  const QRect r(at, box);
  p.fillRect(r, QColor(255, 255, 225));
  p.setPen(Qt::black);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  for (int i = 0; i < lines.size(); ++i)
    p.drawText(r.left() + 4, r.top() + 3 + i * metrics.height() + metrics.ascent(), lines[i]);
}

void TFreeHandWindow::mousePressEvent(QMouseEvent* AEvent) {
  const QPoint at = AEvent->globalPosition().toPoint();
  FState.MouseDown(AEvent->button() == Qt::LeftButton, at.x(), at.y());
  update();
}

void TFreeHandWindow::mouseMoveEvent(QMouseEvent* AEvent) {
  const QPoint at = AEvent->globalPosition().toPoint();
  FState.MouseMove(at.x(), at.y());
  update();
}

void TFreeHandWindow::mouseReleaseEvent(QMouseEvent* AEvent) {
  const QPoint at = AEvent->globalPosition().toPoint();
  if (FState.MouseUp(at.x(), at.y())) {
    accept();
    return;
  }
  update();
}

}  // namespace app
