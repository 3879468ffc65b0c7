// The preview window, on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <atomic>
#include <thread>

#include "media/FFBindings.h"
#include "media/Previewer.h"
#include "platform/UiHandOver.h"

using namespace media;

namespace {

QImage Picture(int AWidth, int AHeight, QColor AColour) {
  QImage image(AWidth, AHeight, QImage::Format_BGR888);
  image.fill(AColour);
  return image;
}

}  // namespace

// Runs first, while no Qt application exists.
TEST(Previewer, HeadlessHasNoPreviewAndNothingFails) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  TPreviewer previewer;
  EXPECT_FALSE(previewer.PaintFrame(Picture(32, 24, Qt::red), 1, 0));
  EXPECT_EQ(previewer.Form(), nullptr);
}

TEST(Previewer, ShowsPicturesUntilClosed) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "media_previewer_tests";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  platform::ui::DesignateUiThread();
  {
    TPreviewer previewer;
    ASSERT_TRUE(previewer.PaintFrame(Picture(64, 48, Qt::red), 1, ((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000));
    QWidget* form = previewer.Form();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), "01:02:03.004");
    EXPECT_EQ(form->size(), QSize(64, 48));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->windowFlags() & Qt::Tool);
    QImage shown = form->grab().toImage();
    EXPECT_EQ(shown.pixelColor(10, 10), QColor(Qt::red));

    // From a conversion thread: the UI thread paints while the caller waits.
    std::atomic<bool> done{false}, result{false};
    std::thread worker([&] {
      result = previewer.PaintFrame(Picture(64, 48, Qt::blue), 2, AV_NOPTS_VALUE);
      done = true;
    });
    ASSERT_TRUE(platform::ui::WaitServing([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(form->windowTitle(), "N/A");
    EXPECT_EQ(form->grab().toImage().pixelColor(10, 10), QColor(Qt::blue));

    // The user closes the window: no more painting.
    form->close();
    EXPECT_TRUE(previewer.Closed());
    EXPECT_FALSE(previewer.PaintFrame(Picture(64, 48, Qt::green), 3, 0));
  }
  platform::ui::ReleaseUiThread();
}
