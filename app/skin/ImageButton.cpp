// Image button: see ImageButton.h.
#include "app/skin/ImageButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app::skin {

TImageButton::TImageButton(QWidget* AParent) : QWidget(AParent) {
  setAttribute(Qt::WA_Hover);
  setCursor(Qt::PointingHandCursor);
}

void TImageButton::SetPictures(TButtonPictures APictures) {
  FPictures = std::move(APictures);
  update();
}

void TImageButton::Click() {
  if (isEnabled()) emit clicked();
}

void TImageButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPixmap& picture = FPressed && FHover ? FPictures.Pressed
                           : FHover           ? FPictures.Hover
                                              : FPictures.Normal;
  if (picture.isNull()) return;
  if (!isEnabled()) p.setOpacity(0.4);
  p.drawTiledPixmap(rect(), picture);
}

void TImageButton::enterEvent(QEnterEvent*) {
  FHover = true;
  update();
}

void TImageButton::leaveEvent(QEvent*) {
  FHover = false;
  update();
}

void TImageButton::mousePressEvent(QMouseEvent* AEvent) {
  if (AEvent->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(AEvent);
    return;
  }
  FPressed = true;
  FHover = true;
  update();
}

void TImageButton::mouseMoveEvent(QMouseEvent* AEvent) {
  const bool inside = rect().contains(AEvent->position().toPoint());
  if (inside != FHover) {
    FHover = inside;
    update();
  }
}

void TImageButton::mouseReleaseEvent(QMouseEvent* AEvent) {
  if (AEvent->button() != Qt::LeftButton || !FPressed) {
    QWidget::mouseReleaseEvent(AEvent);
    return;
  }
  FPressed = false;
  const bool inside = rect().contains(AEvent->position().toPoint());
  FHover = inside;
  update();
  if (inside) emit clicked();
}

void TImageButton::changeEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::EnabledChange) {
    FPressed = false;
    update();
  }
  QWidget::changeEvent(AEvent);
}

}  // namespace app::skin
