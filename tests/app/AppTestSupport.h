#pragma once
// Test doubles of the desktop for the app tests: a 1280x1024 screen, a shell
// that records what it is asked to open, message boxes that are recorded.

#include <QDialog>
#include <QString>
#include <QStringList>

#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "app/errordlg.h"
#include "platform/Desktop.h"
#include "platform/UiHandOver.h"

namespace apptest {

struct TDesktopDouble {
  QStringList Opened;
  QStringList Messages;
  TDesktopDouble() {
    platform::desktop::SetScreenSizeOverride(QSize(1280, 1024));
    platform::desktop::SetShellOpenHandler([this](const QString& target) {
      Opened << target;
      return true;
    });
    platform::desktop::SetMessageHandler(
        [this](const QString&, const QString& text, platform::desktop::TMessageKind) { Messages << text; });
  }
  ~TDesktopDouble() {
    platform::desktop::SetScreenSizeOverride({});
    platform::desktop::SetShellOpenHandler(nullptr);
    platform::desktop::SetMessageHandler(nullptr);
  }
};

// A main window with its error dialog; reports are answered with Cancel
// and counted.
struct TMainWindowRig {
  TDesktopDouble Desktop;
  app::TErrorForm ErrorForm;
  app::TErrorReport Report{ErrorForm};
  QStringList Reported;
  std::unique_ptr<app::TMainForm> Form;

  explicit TMainWindowRig(const QString& AProfileFile = {}) {
    Report.ShowDialog = [this](app::TErrorForm& AForm) {
      Reported << AForm.lblErrorText->text();
      return int(QDialog::Rejected);
    };
    Form = std::make_unique<app::TMainForm>(Report, nullptr, AProfileFile);
  }
};

}  // namespace apptest
