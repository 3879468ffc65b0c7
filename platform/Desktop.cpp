// Desktop services on Linux/X11 with Qt: see Desktop.h.
#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <memory>
#include <mutex>

// Xlib last: its macros (Status, Bool, None) clash with Qt's headers.
#include <X11/Xlib.h>

namespace platform::desktop {

namespace {

struct TDesktopHooks {
  std::mutex Lock;
  QSize ScreenOverride;
  TShellOpenHandler ShellOpen;
  TMessageHandler Message;
};

TDesktopHooks& Hooks() {
  static TDesktopHooks hooks;
  return hooks;
}

QSize RootWindowSize() {
  // The X root of the default screen of $DISPLAY.
  struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
  };
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (display) {
    const int screen = DefaultScreen(display.get());
    return {DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen)};
  }
  // No X server (an offscreen test): whatever screen Qt knows.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (const QScreen* s = QGuiApplication::primaryScreen()) return s->geometry().size();
  }
  return {};
}

bool IsUsableFolder(const QString& path) {
  return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) != "/";
}

}  // namespace

QSize ScreenSize() {
  {
    std::lock_guard lock(Hooks().Lock);
    if (Hooks().ScreenOverride.isValid()) return Hooks().ScreenOverride;
  }
  return RootWindowSize();
}

void SetScreenSizeOverride(QSize size) {
  std::lock_guard lock(Hooks().Lock);
  Hooks().ScreenOverride = size;
}

bool ShellOpen(const QString& target) {
  TShellOpenHandler handler;
  {
    std::lock_guard lock(Hooks().Lock);
    handler = Hooks().ShellOpen;
  }
  if (handler) return handler(target);
  const QUrl url = target.startsWith('/') ? QUrl::fromLocalFile(target)
                                          : QUrl::fromEncoded(target.toUtf8(), QUrl::StrictMode);
  if (!url.isValid()) return false;
  return QDesktopServices::openUrl(url);
}

void SetShellOpenHandler(TShellOpenHandler handler) {
  std::lock_guard lock(Hooks().Lock);
  Hooks().ShellOpen = std::move(handler);
}

void ShowMessage(QWidget* parent, const QString& caption, const QString& text, TMessageKind kind) {
  TMessageHandler handler;
  {
    std::lock_guard lock(Hooks().Lock);
    handler = Hooks().Message;
  }
  if (handler) {
    handler(caption, text, kind);
    return;
  }
  const QMessageBox::Icon icon = kind == TMessageKind::Information ? QMessageBox::Information
                                 : kind == TMessageKind::Warning   ? QMessageBox::Warning
                                                                   : QMessageBox::Critical;
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

void SetMessageHandler(TMessageHandler handler) {
  std::lock_guard lock(Hooks().Lock);
  Hooks().Message = std::move(handler);
}

QString HomeFolder() {
  const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
  return IsUsableFolder(home) ? QDir::cleanPath(home) : QString();
}

QString AppDataFolder() {
  QString folder = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
  if (!IsUsableFolder(folder)) {
    const QString home = HomeFolder();
    if (home.isEmpty()) return {};
    folder = home + "/.local/share";
  }
  folder = QDir::cleanPath(folder);
  if (!QDir().mkpath(folder)) return {};
  return folder;
}

QString AppDir() {
  QString dir;
  if (QCoreApplication::instance() != nullptr) {
    dir = QCoreApplication::applicationDirPath();
  } else {
    dir = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
  }
  if (!dir.endsWith('/')) dir += '/';
  return dir;
}

}  // namespace platform::desktop
