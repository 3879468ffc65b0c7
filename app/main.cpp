// Start-up of the recorder: the Qt application, the UI thread, the error
// dialog, the about box and the main window.
#include <QApplication>

#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "app/errordlg.h"
#include "app/skin/Controls.h"
#include "platform/UiHandOver.h"

int main(int argc, char* argv[]) {
  // One widget pixel is one X pixel: the window's sizes are laid out in pixels.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quorvane Screen Recorder");
  QApplication::setFont(app::skin::DefaultFont());
  platform::ui::DesignateUiThread();
  int result = 0;
  {
    // The error dialog first: creating the main window may already report.
    app::TErrorForm errorForm;
    app::TErrorReport errorReport(errorForm);
    app::TAboutForm aboutForm;
    app::TMainForm mainForm(errorReport, &aboutForm);
    mainForm.SetAreaChooser(std::make_unique<app::TScreenAreaChooser>(
        [&mainForm] { return app::TMainForm::HotKeyText(mainForm.hkChooseWindow); }));
    mainForm.show();
    result = QApplication::exec();
  }
  platform::ui::ReleaseUiThread();
  return result;
}
