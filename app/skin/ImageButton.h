#pragma once
// An image button: shows its normal picture (tiled over its area), the hover
// picture while the mouse is over it and the pressed picture while the left
// button is held on it; clicks when the button is released over it.

#include <QWidget>

#include "app/skin/Pictures.h"

namespace app::skin {

class TImageButton : public QWidget {
  Q_OBJECT
 public:
  explicit TImageButton(QWidget* AParent = nullptr);

  void SetPictures(TButtonPictures APictures);
  // Clicks as if the user pressed and released the button over it.
  void Click();

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void enterEvent(QEnterEvent* AEvent) override;
  void leaveEvent(QEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;

 private:
  TButtonPictures FPictures;
  bool FHover = false;
  bool FPressed = false;
};

}  // namespace app::skin
