// The error report: its lines in the log history, the mail it hands to the
// transport, and the mail link when the transport fails.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUrl>
#include <QUrlQuery>

#include "AppTestSupport.h"
#include "platform/Threads.h"

using app::TMailMessage;

namespace {

// What the fake transport saw.
struct TMailLog {
  QString Host;
  int Port = 0;
  QString User;
  QString Password;
  std::vector<TMailMessage> Sent;
  bool Fail = false;
  int Disconnects = 0;
};

class TFakeTransport : public app::TMailTransport {
 public:
  explicit TFakeTransport(TMailLog& ALog) : FLog(ALog) {}
  void SetServer(const QString& AHost, int APort) override {
    FLog.Host = AHost;
    FLog.Port = APort;
  }
  void SetLogin(const QString& AUser, const QString& APassword) override {
    FLog.User = AUser;
    FLog.Password = APassword;
  }
  void Connect() override {
    FConnected = true;  // a server that answers the greeting and then fails
    if (FLog.Fail) throw app::TMailError("login refused");
  }
  void Send(const TMailMessage& AMessage) override { FLog.Sent.push_back(AMessage); }
  bool Connected() const override { return FConnected; }
  void Disconnect() override {
    FConnected = false;
    ++FLog.Disconnects;
  }

 private:
  TMailLog& FLog;
  bool FConnected = false;
};

struct TReportRig {
  apptest::TDesktopDouble Desktop;
  app::TErrorForm Form;
  app::TErrorReport Report{Form};
  TMailLog Mail;
  int Answer = QDialog::Accepted;
  TReportRig() {
    Report.SetTransportFactory([this] { return std::make_unique<TFakeTransport>(Mail); });
    Report.ShowDialog = [this](app::TErrorForm&) { return Answer; };
  }
};

}  // namespace

TEST(ErrorReport, CancelAddsNothing) {
  TReportRig rig;
  rig.Answer = QDialog::Rejected;
  rig.Report.ReportError("Disk full", "CLM_Test");
  EXPECT_EQ(rig.Form.lblErrorText->text(), "Disk full");
  EXPECT_EQ(rig.Report.LogHistory(), QStringList({"FFLOGGER HISTORY:"}));
  EXPECT_TRUE(rig.Mail.Sent.empty());
  EXPECT_TRUE(rig.Desktop.Opened.isEmpty());
}

TEST(ErrorReport, PlainReportAddsThreeLinesAndMailsTheHistory) {
  TReportRig rig;
  rig.Report.FFLoggerLog(nullptr, 3412, media::llInfo, "opened the screen");
  rig.Form.edEmail->setText("no address here");
  rig.Report.ReportError("Error loading formats", "CLM_LoadFormats");
  const QStringList expected = {"FFLOGGER HISTORY:", "#3412.5: opened the screen", "-------------------------",
                                "LAST ERROR MESSAGE: Error loading formats", "CODE LINE MARK: CLM_LoadFormats"};
  EXPECT_EQ(rig.Report.LogHistory(), expected);
  ASSERT_EQ(rig.Mail.Sent.size(), 1u);
  const TMailMessage& m = rig.Mail.Sent[0];
  EXPECT_EQ(m.Body, expected);
  EXPECT_EQ(m.From, "reports@quorvane.com");
  EXPECT_EQ(m.Recipients, QStringList({"support@quorvane.com"}));
  EXPECT_EQ(m.Subject, "ERROR REPORT | Quorvane Screen Recorder");
  EXPECT_EQ(rig.Mail.Port, 26);
  EXPECT_EQ(rig.Mail.User, "reports@quorvane.com");
  EXPECT_EQ(rig.Mail.Password, "valdumin");
  EXPECT_EQ(rig.Mail.Disconnects, 1);
  EXPECT_TRUE(rig.Desktop.Opened.isEmpty());
}

TEST(ErrorReport, UserAdditionsAndTwoReportsInOneRun) {
  TReportRig rig;
  rig.Form.edName->setText("Ann");
  rig.Form.edEmail->setText("odd@");  // any text with "@" is the sender
  rig.Form.memDetails->setPlainText("first line\n\nthird line\n");
  rig.Report.ReportError("First", "CLM_A");
  rig.Form.memDetails->clear();
  rig.Form.edName->clear();
  rig.Report.ReportError("Second", "CLM_B");
  ASSERT_EQ(rig.Mail.Sent.size(), 2u);
  EXPECT_EQ(rig.Mail.Sent[0].From, "odd@");
  const QStringList expected = {
      "FFLOGGER HISTORY:",         "-------------------------", "LAST ERROR MESSAGE: First",
      "CODE LINE MARK: CLM_A",     "USER NAME: Ann",            "PROBLEM DETAILS:",
      "first line",                "",                          "third line",
      "-------------------------", "LAST ERROR MESSAGE: Second", "CODE LINE MARK: CLM_B"};
  EXPECT_EQ(rig.Mail.Sent[1].Body, expected);
}

TEST(ErrorReport, FailedMailOpensAnEncodedMailLink) {
  TReportRig rig;
  rig.Mail.Fail = true;
  const QString message = "Cannot open a&b #2 at 100%\nBcc: someone@else";
  rig.Report.ReportError(message, "CLM_FFSetOutputFile");
  EXPECT_EQ(rig.Mail.Disconnects, 1);  // the half-open connection is closed
  ASSERT_EQ(rig.Desktop.Opened.size(), 1);
  const QString link = rig.Desktop.Opened[0];
  EXPECT_FALSE(link.contains('\n'));
  EXPECT_FALSE(link.contains('#'));
  EXPECT_EQ(link.count('&'), 1);
  const QUrl url(link, QUrl::StrictMode);
  ASSERT_TRUE(url.isValid());
  EXPECT_EQ(url.scheme(), "mailto");
  EXPECT_EQ(url.path(), "support@quorvane.com");
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "ERROR REPORT | Quorvane Screen Recorder");
  EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
            message + " ;CODE LINE MARK:CLM_FFSetOutputFile;  YOUR COMMENT (DETAILS):");
}

TEST(ErrorReport, MediaLogLinesReachTheHistoryThroughTheLogger) {
  apptest::TMainWindowRig rig;
  media::GetFFLogger().Log(nullptr, media::llError, "encoder failed");
  const QString expected = "#" + QString::number(platform::CurrentThreadId()) + ".3: encoder failed";
  EXPECT_EQ(rig.Report.LogHistory().last(), expected);
  platform::TThread worker([] { media::GetFFLogger().Log(nullptr, media::llWarning, "from a worker"); });
  const platform::ThreadId id = worker.Id();
  EXPECT_TRUE(platform::ui::WaitServing(worker.Finished(), 5000));
  worker.Join();
  EXPECT_EQ(rig.Report.LogHistory().last(), "#" + QString::number(id) + ".4: from a worker");
}
