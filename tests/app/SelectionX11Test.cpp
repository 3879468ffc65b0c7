// Hot keys and the selection windows on a real X server, driven with
// xdotool: presses reach the handlers while the main window is minimized, a
// key held by another client is skipped, a drag on the selector gives its
// rectangle, the picker takes a child window and lets clicks through.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"

// Xlib last: its macros clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

bool XDo(const QStringList& AArgs) { return QProcess::execute("xdotool", AArgs) == 0; }

bool WaitFor(const std::function<bool()>& ACondition, int AMs = 3000) {
  for (int waited = 0; waited < AMs; waited += 20) {
    if (ACondition()) return true;
    QTest::qWait(20);
  }
  return ACondition();
}

void SaveScreen(const QString& AName, const QRect& AArea) {
  QDir().mkpath(QSR_SCREENSHOT_DIR);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, AArea.x(), AArea.y(), AArea.width(),
                                                                    AArea.height());
  EXPECT_TRUE(shot.save(QString(QSR_SCREENSHOT_DIR) + "/" + AName)) << AName.toStdString();
}

class TCountingForm : public app::TMainForm {
 public:
  using TMainForm::TMainForm;
  QStringList Calls;
  void btRecordClick() override { Calls << "Record"; }
  void btPauseClick() override { Calls << "Pause"; }
  void btStopClick() override { Calls << "Stop"; }
};

// The main window with the system's hot keys and selection windows.
struct TX11Rig {
  apptest::TDesktopDouble Desktop;
  app::TErrorForm ErrorForm;
  app::TErrorReport Report{ErrorForm};
  QStringList Reported;
  std::unique_ptr<TCountingForm> Form;
  TX11Rig() {
    platform::desktop::SetScreenSizeOverride({});  // the real screen
    Report.ShowDialog = [this](app::TErrorForm& AForm) {
      Reported << AForm.lblErrorText->text();
      return int(QDialog::Rejected);
    };
    Form = std::make_unique<TCountingForm>(Report, nullptr);
    TCountingForm* f = Form.get();
    Form->SetAreaChooser(std::make_unique<app::TScreenAreaChooser>(
        [f] { return app::TMainForm::HotKeyText(f->hkChooseWindow); }));
  }
};

// A client of its own: a top-level window with a child, and key grabs.
struct TOtherClient {
  Display* D = XOpenDisplay(nullptr);
  Window Top = 0, Child = 0;
  ~TOtherClient() {
    if (Top != 0) XDestroyWindow(D, Top);
    XCloseDisplay(D);
  }
  void MakeWindows() {
    const Window root = DefaultRootWindow(D);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = 0x336699;
    Top = XCreateWindow(D, root, 200, 150, 400, 300, 0, CopyFromParent, InputOutput, CopyFromParent,
                        CWOverrideRedirect | CWBackPixel, &a);
    a.background_pixel = 0xcccccc;
    Child = XCreateWindow(D, Top, 50, 40, 120, 80, 0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &a);
    XSelectInput(D, Child, ButtonPressMask);
    XMapWindow(D, Child);
    XMapRaised(D, Top);
    XSync(D, False);
  }
  bool ChildClicked() {
    XSync(D, False);
    XEvent e;
    return XCheckTypedWindowEvent(D, Child, ButtonPress, &e) == True;
  }
};

TEST(HotKeysX11, ReachTheHandlersWhileMinimized) {
  TX11Rig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  ASSERT_EQ(f.HotKeyManager1->HotKeyList().size(), 4u);
  f.showMinimized();
  QTest::qWait(100);

  ASSERT_TRUE(XDo({"key", "ctrl+alt+r"}));
  EXPECT_TRUE(WaitFor([&] { return f.Calls == QStringList{"Record"}; }));
  // Pause is enabled by a running recording; twice: pause and resume.
  f.btPause->setEnabled(true);
  ASSERT_TRUE(XDo({"key", "ctrl+alt+p"}));
  ASSERT_TRUE(XDo({"key", "ctrl+alt+p"}));
  EXPECT_TRUE(WaitFor([&] { return f.Calls.count("Pause") == 2; }));
  // With Num Lock on the keys still work.
  ASSERT_TRUE(XDo({"key", "Num_Lock"}));
  ASSERT_TRUE(XDo({"key", "ctrl+alt+s"}));
  ASSERT_TRUE(XDo({"key", "Num_Lock"}));
  EXPECT_TRUE(WaitFor([&] { return f.Calls.count("Stop") == 1; }));
  // A held key fires once, however long the server repeats it.
  f.Calls.clear();
  ASSERT_TRUE(XDo({"keydown", "ctrl+alt+r", "sleep", "1.2", "keyup", "ctrl+alt+r"}));
  QTest::qWait(300);
  EXPECT_EQ(f.Calls, QStringList{"Record"});
  // Keys of the fields only: Ctrl+Alt+Q reaches nothing.
  ASSERT_TRUE(XDo({"key", "ctrl+alt+q"}));
  QTest::qWait(200);
  EXPECT_EQ(f.Calls, QStringList{"Record"});
  EXPECT_TRUE(rig.Reported.isEmpty());
}

TEST(HotKeysX11, KeyHeldByAnotherClientIsSkipped) {
  TOtherClient other;
  ASSERT_NE(other.D, nullptr);
  XGrabKey(other.D, XKeysymToKeycode(other.D, XK_s), ControlMask | Mod1Mask, DefaultRootWindow(other.D), False,
           GrabModeAsync, GrabModeAsync);
  XSync(other.D, False);
  TX11Rig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  // Stop has no hot key; the others work; nothing is reported.
  EXPECT_EQ(f.HotKeyManager1->HotKeyList().size(), 3u);
  EXPECT_TRUE(rig.Reported.isEmpty());
  EXPECT_FALSE(f.HotKeyManager1->HotKeyValid(app::HotKeyFromShortCut(Qt::CTRL | Qt::ALT | Qt::Key_S)));
  EXPECT_TRUE(f.HotKeyManager1->HotKeyValid(app::HotKeyFromShortCut(Qt::CTRL | Qt::ALT | Qt::Key_R)));
  ASSERT_TRUE(XDo({"key", "ctrl+alt+r"}));
  EXPECT_TRUE(WaitFor([&] { return f.Calls == QStringList{"Record"}; }));
}

TEST(SelectionX11, DragOnTheSelectorGivesTheRectangle) {
  TX11Rig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  ASSERT_TRUE(XDo({"mousemove", "600", "500"}));
  QTimer::singleShot(400, [] {
    XDo({"mousemove", "300", "200", "mousedown", "1", "mousemove", "200", "120", "mousemove", "100", "50"});
    QTest::qWait(300);
    SaveScreen("selector.png", QRect(0, 0, 640, 400));
    XDo({"mouseup", "1"});
  });
  f.cbRecordType->setCurrentIndex(1);
  EXPECT_EQ(f.CaptureArea.Left, 100);
  EXPECT_EQ(f.CaptureArea.Top, 50);
  EXPECT_EQ(f.CaptureArea.Width, 200);
  EXPECT_EQ(f.CaptureArea.Height, 150);
  EXPECT_EQ(f.lbl1->text(), "region 200x150 starting at point 100; 50");

  // Ctrl+Alt+C cancels the selector, and so does Escape.
  for (const char* key : {"ctrl+alt+c", "Escape"}) {
    QTimer::singleShot(400, [key] { XDo({"key", key}); });
    f.btEdit->click();
    EXPECT_EQ(f.lbl1->text(), "region 200x150 starting at point 100; 50") << key;
  }
}

TEST(SelectionX11, PickerTakesTheChildUnderThePointerAndLetsClicksThrough) {
  TOtherClient other;
  ASSERT_NE(other.D, nullptr);
  other.MakeWindows();
  TX11Rig rig;
  TCountingForm& f = *rig.Form;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.move(700, 600);
  ASSERT_TRUE(XDo({"mousemove", "300", "230"}));  // inside the child at 250, 190
  bool clickedThrough = false;
  QTimer::singleShot(500, [&] {
    SaveScreen("picker.png", QRect(150, 100, 500, 400));
    // A click inside the frame goes to the child, not to the picker.
    XDo({"click", "1"});
    clickedThrough = WaitFor([&] { return other.ChildClicked(); }, 1000);
    XDo({"key", "ctrl+alt+c"});
  });
  f.cbRecordType->setCurrentIndex(2);
  EXPECT_TRUE(clickedThrough);
  EXPECT_EQ(f.CaptureArea.Handle, other.Child);
  EXPECT_EQ(f.CaptureArea.Left, 250);
  EXPECT_EQ(f.CaptureArea.Top, 190);
  EXPECT_EQ(f.CaptureArea.Width, 120);
  EXPECT_EQ(f.CaptureArea.Height, 80);
  EXPECT_EQ(f.lbl1->text(), "window 120x80 starting at point 250; 190");
  EXPECT_TRUE(f.Calls.isEmpty());
}

}  // namespace
