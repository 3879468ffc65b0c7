#include "media/Previewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include "media/FFUtils.h"
#include "platform/UiHandOver.h"

namespace media {

namespace {

// The window: paints the last picture, drags by any point, reports closing.
class TPreviewForm : public QWidget {
 public:
  explicit TPreviewForm(std::atomic<bool>& AClosed)
      : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                             Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
        FClosed(AClosed) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  void SetPicture(const QImage& AImage) {
    FImage = AImage;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(0, 0, FImage);
  }
  void closeEvent(QCloseEvent* AEvent) override {
    FClosed = true;
    AEvent->accept();
  }
  void mousePressEvent(QMouseEvent* AEvent) override {
    if (AEvent->button() != Qt::LeftButton) return QWidget::mousePressEvent(AEvent);
    FDragOffset = AEvent->globalPosition().toPoint() - frameGeometry().topLeft();
    FDragging = true;
  }
  void mouseMoveEvent(QMouseEvent* AEvent) override {
    if (FDragging && (AEvent->buttons() & Qt::LeftButton))
      move(AEvent->globalPosition().toPoint() - FDragOffset);
  }
  void mouseReleaseEvent(QMouseEvent*) override { FDragging = false; }

 private:
  std::atomic<bool>& FClosed;
  QImage FImage;
  QPoint FDragOffset;
  bool FDragging = false;
};

QApplication* RunningApp() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

}  // namespace

TPreviewer::TPreviewer() = default;

TPreviewer::~TPreviewer() {
  if (!FForm || !RunningApp()) return;
  QPointer<QWidget> form = FForm;
  auto destroy = [form] { delete form.data(); };
  if (QThread::currentThread() == RunningApp()->thread())
    destroy();
  else if (platform::ui::HasUiThread())
    platform::ui::RunOnUiThread(destroy);
}

bool TPreviewer::PaintFrame(const QImage& ABitmap, int AFrameNumber, int64_t APTS) {
  if (FClosed) return false;
  QApplication* app = RunningApp();
  if (!app) return false;
  const bool onUiThread = QThread::currentThread() == app->thread();
  if (!onUiThread && !platform::ui::HasUiThread()) return false;
  FBitmap = ABitmap.copy();  // the caller's image changes with the next frame
  FFrameNumber = AFrameNumber;
  FPTS = APTS;
  if (onUiThread)
    Paint();
  else
    platform::ui::RunOnUiThread([this] { Paint(); });
  return !FClosed;
}

void TPreviewer::Paint() {
  if (FClosed) return;
  auto* form = static_cast<TPreviewForm*>(FForm.data());
  if (!form) {
    form = new TPreviewForm(FClosed);  // owned through FForm, freed by the destructor
    FForm = form;
    form->resize(FBitmap.size());
    if (QScreen* screen = QGuiApplication::primaryScreen())
      form->move(screen->availableGeometry().center() - form->rect().center());
    form->show();
  } else if (form->size() != FBitmap.size()) {
    form->resize(FBitmap.size());
  }
  form->setWindowTitle(QString::fromStdString(TimestampText(FPTS)));
  form->SetPicture(FBitmap);
}

}  // namespace media
