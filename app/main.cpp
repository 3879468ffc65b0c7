// Start-up of the recorder: the Qt application, the UI thread and the main window.
#include <QApplication>
#include <QMainWindow>

#include "platform/UiHandOver.h"

int main(int argc, char* argv[]) {
  // One widget pixel is one X pixel: the window's sizes are laid out in pixels.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication app(argc, argv);
  platform::ui::DesignateUiThread();

  QMainWindow window;
  window.setWindowTitle("Quorvane Screen Recorder");
  window.resize(451, 300);
  window.show();
  const int result = app.exec();
  platform::ui::ReleaseUiThread();
  return result;
}
