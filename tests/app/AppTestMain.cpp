// Runs the app tests inside a Qt application: offscreen unless the test
// asks for a real X server (QT_QPA_PLATFORM set), in a private data home.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/skin/Controls.h"
#include "platform/UiHandOver.h"

int main(int argc, char** argv) {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dataHome;
  qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
  QApplication application(argc, argv);
  QApplication::setFont(app::skin::DefaultFont());
  platform::ui::DesignateUiThread();
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  platform::ui::ReleaseUiThread();
  return result;
}
