// The skinned frame: see SkinForm.h.
#include "app/skin/SkinForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include "platform/Desktop.h"

namespace app::skin {

namespace {
const QSize kBorderButtonSize(22, 18);
}

QPoint SnapToEdges(QPoint ATopLeft, QSize ASize, QRect AScreen, int ADistance) {
  QPoint result = ATopLeft;
  if (std::abs(ATopLeft.x() - AScreen.left()) <= ADistance) {
    result.setX(AScreen.left());
  } else if (std::abs(ATopLeft.x() + ASize.width() - 1 - AScreen.right()) <= ADistance) {
    result.setX(AScreen.right() + 1 - ASize.width());
  }
  if (std::abs(ATopLeft.y() - AScreen.top()) <= ADistance) {
    result.setY(AScreen.top());
  } else if (std::abs(ATopLeft.y() + ASize.height() - 1 - AScreen.bottom()) <= ADistance) {
    result.setY(AScreen.bottom() + 1 - ASize.height());
  }
  return result;
}

TSkinForm::TSkinForm(int AClientWidth, QWidget* AParent)
    : QWidget(AParent, Qt::Window | Qt::FramelessWindowHint), FClientWidth(AClientWidth) {
  FCaptionBar = new QWidget(this);
  FCaptionBar->setGeometry(kBorder, kBorder, FClientWidth, kCaptionHeight);
  FCaptionBar->installEventFilter(this);
  auto* layout = new QHBoxLayout(FCaptionBar);
  layout->setContentsMargins(4, 0, 3, 0);
  layout->setSpacing(2);

  FSystemButton = new TImageButton(FCaptionBar);
  FSystemButton->setFixedSize(18, 18);
  FSystemButton->SetPictures(CaptionButtonPictures(TGlyph::SystemMenu, FSystemButton->size()));
  FSystemButton->setToolTip(tr("System menu"));
  connect(FSystemButton, &TImageButton::clicked, this, [this] {
    ShowSystemMenu(FSystemButton->mapToGlobal(QPoint(0, FSystemButton->height() + 3)));
  });
  layout->addWidget(FSystemButton);
  layout->addSpacing(4);

  FCaptionLabel = new QLabel(FCaptionBar);
  FCaptionLabel->setStyleSheet("color: white; font-weight: bold;");
  FCaptionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout->addWidget(FCaptionLabel, 1);

  const TGlyph captionGlyphs[kCaptionButtonCount] = {TGlyph::Record, TGlyph::Pause, TGlyph::Stop};
  for (int i = 0; i < kCaptionButtonCount; ++i) {
    FCaptionButtons[i] = AddBorderButton(captionGlyphs[i], QString());
  }
  layout->addSpacing(6);
  TImageButton* minimize = AddBorderButton(TGlyph::Minimize, tr("Minimize"));
  connect(minimize, &TImageButton::clicked, this, &QWidget::showMinimized);
  FRollUpButton = AddBorderButton(TGlyph::RollUp, tr("Roll up"));
  connect(FRollUpButton, &TImageButton::clicked, this, [this] { SetRollUpState(!FRolledUp); });
  TImageButton* close = AddBorderButton(TGlyph::Close, tr("Close"));
  connect(close, &TImageButton::clicked, this, &QWidget::close);

  FClient = new QWidget(this);
  FClient->setAutoFillBackground(true);
  FClient->setGeometry(kBorder, kBorder + kCaptionHeight, FClientWidth, 0);

  FSystemMenu = new QMenu(this);
  ApplySize();
}

TImageButton* TSkinForm::AddBorderButton(TGlyph AGlyph, const QString& AHint) {
  auto* button = new TImageButton(FCaptionBar);
  button->setFixedSize(kBorderButtonSize);
  button->SetPictures(CaptionButtonPictures(AGlyph, kBorderButtonSize));
  button->setToolTip(AHint);
  FCaptionBar->layout()->addWidget(button);
  return button;
}

void TSkinForm::SetCaption(const QString& ACaption) {
  FCaptionLabel->setText(ACaption);
  setWindowTitle(ACaption);
}

QString TSkinForm::Caption() const { return FCaptionLabel->text(); }

void TSkinForm::SetClientHeight(int AHeight) {
  if (FRolledUp) {
    FStoredClientHeight = AHeight;
    return;
  }
  FClientHeight = AHeight;
  ApplySize();
}

void TSkinForm::SetRollUpState(bool ARolledUp) {
  if (ARolledUp == FRolledUp) return;
  if (ARolledUp) {
    FStoredClientHeight = FClientHeight;
    FRolledUp = true;
    FClient->hide();
  } else {
    FRolledUp = false;
    FClientHeight = FStoredClientHeight;
    FClient->show();
  }
  FRollUpButton->SetPictures(CaptionButtonPictures(FRolledUp ? TGlyph::RollDown : TGlyph::RollUp,
                                                   kBorderButtonSize));
  FRollUpButton->setToolTip(FRolledUp ? tr("Roll down") : tr("Roll up"));
  ApplySize();
  if (OnChangeRollUpState) OnChangeRollUpState();
}

void TSkinForm::ApplySize() {
  const int clientHeight = FRolledUp ? 0 : FClientHeight;
  FClient->setGeometry(kBorder, kBorder + kCaptionHeight, FClientWidth, clientHeight);
  setFixedSize(FClientWidth + 2 * kBorder, kCaptionHeight + clientHeight + 2 * kBorder);
}

void TSkinForm::ShowSystemMenu(QPoint AGlobalPos) { FSystemMenu->popup(AGlobalPos); }

void TSkinForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient caption(0, 0, 0, kCaptionHeight);
  caption.setColorAt(0, colors::kCaptionTop);
  caption.setColorAt(1, colors::kCaptionBottom);
  p.fillRect(rect(), colors::kFace);
  p.fillRect(QRect(0, 0, width(), kCaptionHeight + kBorder), caption);
  p.setPen(colors::kBorder);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TSkinForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched != FCaptionBar) return QWidget::eventFilter(AWatched, AEvent);
  switch (AEvent->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(AEvent);
      if (e->button() == Qt::LeftButton) {
        FDragging = true;
        FDragOffset = e->globalPosition().toPoint() - pos();
        return true;
      }
      if (e->button() == Qt::RightButton) {
        ShowSystemMenu(e->globalPosition().toPoint());
        return true;
      }
      break;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(AEvent);
      if (FDragging) {
        const QSize screen = platform::desktop::ScreenSize();
        const QPoint wanted = e->globalPosition().toPoint() - FDragOffset;
        move(screen.isValid() ? SnapToEdges(wanted, size(), QRect(QPoint(0, 0), screen)) : wanted);
        return true;
      }
      break;
    }
    case QEvent::MouseButtonRelease:
      FDragging = false;
      break;
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton) {
        SetRollUpState(!FRolledUp);
        return true;
      }
      break;
    default:
      break;
  }
  return QWidget::eventFilter(AWatched, AEvent);
}

}  // namespace app::skin
