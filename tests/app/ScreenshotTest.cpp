// Screenshots of the main window (collapsed, expanded, rolled up), the about
// box and the error dialog on the X server, for a look at the real thing.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "AppTestSupport.h"

namespace {

void Save(QWidget& AWidget, const QString& AName) {
  QTest::qWait(150);
  QApplication::processEvents();
  QDir().mkpath(QSR_SCREENSHOT_DIR);
  const QPixmap shot = AWidget.grab();
  ASSERT_FALSE(shot.isNull());
  ASSERT_TRUE(shot.save(QString(QSR_SCREENSHOT_DIR) + "/" + AName)) << AName.toStdString();
}

}  // namespace

TEST(Screenshots, MainWindowAboutAndError) {
  platform::desktop::SetShellOpenHandler([](const QString&) { return true; });
  platform::desktop::SetMessageHandler(
      [](const QString&, const QString&, platform::desktop::TMessageKind) {});
  app::TErrorForm errorForm;
  app::TErrorReport report(errorForm);
  report.ShowDialog = [](app::TErrorForm&) { return int(QDialog::Rejected); };
  app::TAboutForm about;
  app::TMainForm form(report, &about);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.ClientHeight(), 164);
  Save(form, "main-collapsed.png");

  form.btRecordFrom1->Click();
  form.btRecordTo1->Click();
  form.btRecordSettings1->Click();
  form.btHotkeys1->Click();
  EXPECT_EQ(form.ClientHeight(), 164 + 60 + 155 + 103 + 60);
  Save(form, "main-expanded.png");

  form.SetRollUpState(true);
  Save(form, "main-rolledup.png");
  form.SetRollUpState(false);

  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  EXPECT_EQ(about.height(), app::TAboutForm::kClientHeight);
  EXPECT_FALSE(about.imgLogo->pixmap().isNull());
  Save(about, "about.png");
  about.hide();

  errorForm.lblErrorText->setText("Error loading formats");
  errorForm.edName->setText("Ann Example");
  errorForm.edEmail->setText("ann@example.org");
  errorForm.memDetails->setPlainText("The recorder stopped after ten seconds.");
  errorForm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&errorForm));
  EXPECT_EQ(errorForm.height(), app::TErrorForm::kClientHeight);
  Save(errorForm, "error.png");
  errorForm.hide();

  platform::desktop::SetShellOpenHandler(nullptr);
  platform::desktop::SetMessageHandler(nullptr);
}

TEST(Screenshots, LongErrorMessagesGetRoom) {
  app::TErrorForm errorForm;
  errorForm.lblErrorText->setText(QString("Cannot write the file: no space left on device. ").repeated(4));
  errorForm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&errorForm));
  EXPECT_GT(errorForm.height(), app::TErrorForm::kClientHeight);
  EXPECT_LT(errorForm.height(), app::TErrorForm::kClientHeight + 80);
  Save(errorForm, "error-long.png");
}
