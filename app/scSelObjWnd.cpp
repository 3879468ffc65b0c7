// The window picker.
#include "app/scSelObjWnd.h"

#include <QPainter>

namespace app {

TPickerShape PickerShapeAround(int AX, int AY, int AW, int AH, int ATextWidth, int ATextHeight) {
  TPickerShape s;
  const int width = AW + 3, height = AH + ATextHeight + 3;
  s.Window = QRect(AX - 2, AY - ATextHeight - 2, width, height);
  s.cRect = QRect(QPoint(0, ATextHeight), QPoint(width - 1, height - 1));
  // The whole window minus the strip right of the label and the frame's inside:
  // the label cell and a frame one pixel wide remain.
  QRegion shape(0, 0, width, height);
  shape -= QRegion(QRect(QPoint(ATextWidth, 0), QPoint(width - 1, ATextHeight - 1)));
  shape -= QRegion(QRect(QPoint(1, ATextHeight + 1), QPoint(AW + 1, AH + ATextHeight + 1)));
  s.Shape = shape;
  return s;
}

TSelObjWindow::TSelObjWindow(std::unique_ptr<platform::TWindowQuery> AQuery, std::function<QString()> AChooseKeyText,
                             QWidget* AParent)
    : QDialog(AParent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
      FQuery(std::move(AQuery)),
      FChooseKeyText(std::move(AChooseKeyText)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  QFont label("Sans Serif");
  label.setPixelSize(11);
  setFont(label);
  Timer1.setInterval(40);
  connect(&Timer1, &QTimer::timeout, this, &TSelObjWindow::Timer1Timer);
  Timer1.start();
}

TSelObjWindow::~TSelObjWindow() { Timer1.stop(); }

void TSelObjWindow::Timer1Timer() {
  if (FQuery == nullptr) return;
  platform::TPointedWindow found;
  // Before the first show the picker has no X window to look through.
  const platform::TWindowId self = testAttribute(Qt::WA_WState_Created) ? platform::TWindowId(winId()) : 0;
  if (!FQuery->WindowUnderPointer(self, found)) return;  // the window vanished meanwhile: try again
  PRegion = TRegion{found.Rect.X, found.Rect.Y, found.Rect.Width, found.Rect.Height};
  Hand = static_cast<unsigned long>(found.Window);
  const QString text = "Choose: " + (FChooseKeyText ? FChooseKeyText() : QString());
  ShapeAround(PRegion.Left, PRegion.Top, PRegion.Right, PRegion.Bottom, text);
  raise();
}

void TSelObjWindow::ShapeAround(int AX, int AY, int AW, int AH, const QString& AText) {
  const QFontMetrics metrics(font());
  const TPickerShape s =
      PickerShapeAround(AX, AY, AW, AH, metrics.horizontalAdvance(AText), metrics.height());
  FText = AText;
  cRect = s.cRect;
  setGeometry(s.Window);
  setMask(s.Shape);
  update();
}

void TSelObjWindow::TakeWindow() {
  Timer1.stop();
  accept();
}

void TSelObjWindow::paintEvent(QPaintEvent*) {
  if (cRect.width() <= 0 || cRect.height() <= 0) return;
  QPainter p(this);
  const QColor red(255, 0, 0);
  const QFontMetrics metrics(font());
  p.fillRect(QRect(0, 0, metrics.horizontalAdvance(FText), metrics.height()), red);
  p.setPen(Qt::white);
  p.drawText(0, metrics.ascent(), FText);
  p.setPen(red);
  p.setBrush(red);
  p.drawRect(cRect.adjusted(0, 0, -1, -1));
}

}  // namespace app
