// The error report mailed for real to a local SMTP server, and the mail link
// when no server listens.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "AppTestSupport.h"

namespace {

// A loopback port that nothing listens on right now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    return 0;
  }
  close(fd);
  return ntohs(address.sin_port);
}

struct TSmtpServer {
  QProcess Process;
  QString OutFile;
  bool Start(int APort, const QString& AOutFile, const app::TMailSettings& ASettings) {
    OutFile = AOutFile;
    // Debian's python3, which has python3-aiosmtpd.
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    Process.start(python, {QSR_SMTP_SINK, QString::number(APort), AOutFile, ASettings.UserName,
                              ASettings.Password});
    if (!Process.waitForStarted(10000)) return false;
    while (Process.waitForReadyRead(10000)) {
      if (Process.readAllStandardOutput().contains("READY")) return true;
    }
    return false;
  }
  ~TSmtpServer() {
    if (Process.state() != QProcess::NotRunning) {
      Process.closeWriteChannel();
      if (!Process.waitForFinished(10000)) Process.kill();
      Process.waitForFinished(5000);
    }
  }
};

struct TMailRig {
  apptest::TDesktopDouble Desktop;
  app::TErrorForm Form;
  app::TErrorReport Report{Form};
  TMailRig(int APort) {
    app::TMailSettings settings;
    settings.Server = "127.0.0.1";
    settings.Port = APort;
    Report.SetMailSettings(settings);
    Report.ShowDialog = [](app::TErrorForm&) { return int(QDialog::Accepted); };
  }
};

}  // namespace

TEST(MailDelivery, ReportReachesTheServerWithTheWholeHistory) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  QTemporaryDir dir;
  TMailRig rig(port);
  TSmtpServer server;
  ASSERT_TRUE(server.Start(port, dir.filePath("mail.json"), rig.Report.MailSettings()))
      << server.Process.readAllStandardError().toStdString();

  for (int i = 0; i < 50; ++i) {
    rig.Report.FFLoggerLog(nullptr, 4000 + i, media::llInfo, "log line " + std::to_string(i) + " ü");
  }
  rig.Report.FFLoggerLog(nullptr, 4100, media::llDebug, ".a line that starts with a dot");
  rig.Form.edEmail->setText("user@example.org");
  rig.Form.memDetails->setPlainText("It stopped\nafter ten seconds.");
  rig.Report.ReportError("Recording terminated with exception: disk full", "CLM_VidaxException");
  EXPECT_TRUE(rig.Desktop.Opened.isEmpty()) << rig.Desktop.Opened.join(' ').toStdString();

  QFile file(server.OutFile);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no mail arrived";
  const QJsonObject mail = QJsonDocument::fromJson(file.readAll()).object();
  EXPECT_EQ(mail["login"].toString(), "reports@quorvane.com");
  EXPECT_EQ(mail["mail_from"].toString(), "user@example.org");
  EXPECT_EQ(mail["rcpt_tos"].toArray().first().toString(), "support@quorvane.com");
  const QString content = mail["content"].toString();
  EXPECT_TRUE(content.contains("Subject: ERROR REPORT | Quorvane Screen Recorder\r\n"));
  const qsizetype bodyStart = content.indexOf("\r\n\r\n");
  ASSERT_GT(bodyStart, 0);
  QStringList body = content.mid(bodyStart + 4).split("\r\n");
  if (!body.isEmpty() && body.last().isEmpty()) body.removeLast();
  EXPECT_EQ(body, rig.Report.LogHistory());
  EXPECT_EQ(body.last(), "after ten seconds.");
}

TEST(MailDelivery, NoServerOpensTheMailLink) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  TMailRig rig(port);
  rig.Report.ReportError("Error adding hotkeys", "CLM_AddHotKey");
  ASSERT_EQ(rig.Desktop.Opened.size(), 1);
  EXPECT_TRUE(rig.Desktop.Opened[0].startsWith("mailto:support@quorvane.com?subject=ERROR%20REPORT%20%7C%20"));
  EXPECT_TRUE(rig.Desktop.Opened[0].contains("&body=Error%20adding%20hotkeys%20%3BCODE%20LINE%20MARK%3ACLM_AddHotKey"));
  EXPECT_EQ(rig.Report.LogHistory().last(), "CODE LINE MARK: CLM_AddHotKey");
}

TEST(MailDelivery, RefusedLoginOpensTheMailLink) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  QTemporaryDir dir;
  TMailRig rig(port);
  TSmtpServer server;
  ASSERT_TRUE(server.Start(port, dir.filePath("mail.json"), rig.Report.MailSettings()));
  app::TMailSettings wrong = rig.Report.MailSettings();
  wrong.Password = "not the password";
  rig.Report.SetMailSettings(wrong);
  rig.Report.ReportError("Error loading formats", "CLM_LoadFormats");
  EXPECT_FALSE(QFile::exists(server.OutFile));
  ASSERT_EQ(rig.Desktop.Opened.size(), 1);
  EXPECT_TRUE(rig.Desktop.Opened[0].startsWith("mailto:"));
}

TEST(MailMessage, HeadersCannotBeInjectedAndLongLinesAreBroken) {
  app::TMailMessage message;
  message.From = "a@b\r\nBcc: someone@else";
  message.Recipients = {"support@quorvane.com"};
  message.Subject = "ERROR REPORT | Quorvane Screen Recorder";
  message.Body = {QString(600, QChar(0x00FC)), "end"};  // 1200 bytes of two-byte characters
  const QByteArray wire = QByteArray::fromStdString(app::ComposeMessage(message));
  EXPECT_FALSE(wire.contains("\r\nBcc:"));
  EXPECT_TRUE(wire.contains("From: <a@b  Bcc: someone@else>\r\n"));
  const QList<QByteArray> lines = wire.split('\n');
  for (const QByteArray& line : lines) EXPECT_LE(line.size(), 998 + 1);
  const qsizetype body = wire.indexOf("\r\n\r\n") + 4;
  const QList<QByteArray> bodyLines = wire.mid(body).split('\n');
  ASSERT_GE(bodyLines.size(), 3);
  // Broken between characters, never inside one.
  EXPECT_EQ(QString::fromUtf8(bodyLines[0].chopped(1) + bodyLines[1].chopped(1)), QString(600, QChar(0x00FC)));
  EXPECT_EQ(bodyLines[2], "end\r");
}
