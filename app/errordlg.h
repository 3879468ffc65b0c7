#pragma once
// Error reporting: the error dialog (TErrorForm) and the one failure report
// of the main window (TErrorReport::ReportError), which mails the message,
// a place code, the user's additions and the whole media log to support,
// or opens a prepared mail link when the mail cannot be sent.

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "app/MailReport.h"
#include "media/FFLog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace app {

class TErrorForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kClientHeight = 245;
  explicit TErrorForm(QWidget* AParent = nullptr);

  QLabel* lblErrorText;
  QLineEdit* edName;
  QLineEdit* edEmail;
  QPlainTextEdit* memDetails;
  QPushButton* btSend;
  QPushButton* btCancel;

 protected:
  void showEvent(QShowEvent* AEvent) override;
};

// Where reports go.
struct TMailSettings {
  QString Server = "mail.quorvane.com";
  int Port = 26;
  QString UserName = "reports@quorvane.com";  // the report account
  QString Password = "valdumin";
  QString Support = "support@quorvane.com";
};

inline const QString kReportSubject = "ERROR REPORT | Quorvane Screen Recorder";

// The mail link offered when the report cannot be mailed. Subject and body
// are percent-encoded, so "&", "#", "%" or line breaks in the message stay
// part of the body; decoded, the link reads as the plain text it stands for.
QString MailLink(const QString& ASupport, const QString& AMessage, const QString& ACode);

class TErrorReport {
 public:
  explicit TErrorReport(TErrorForm& AForm);

  // Shows the dialog with the message; on Send mails the report (see
  // above). Returns when the dialog is closed and sending has ended; throws
  // nothing.
  void ReportError(const QString& AMessage, const QString& ACode) noexcept;

  // Appends one media log line "#<thread>.<level>: <message>".
  void FFLoggerLog(void* ASender, platform::ThreadId AThreadID, media::TLogLevel ALogLevel,
                   const std::string& ALogMsg);

  const QStringList& LogHistory() const { return FLogHistory; }
  TErrorForm& ErrorForm() { return FForm; }

  void SetMailSettings(TMailSettings ASettings) { FMailSettings = std::move(ASettings); }
  const TMailSettings& MailSettings() const { return FMailSettings; }
  // Makes the mail client of each report (tests put a fake in).
  void SetTransportFactory(std::function<std::unique_ptr<TMailTransport>()> AFactory) {
    FTransportFactory = std::move(AFactory);
  }
  // Shows the dialog modally and returns its result (tests answer it).
  std::function<int(TErrorForm&)> ShowDialog;

 private:
  void SendReport(const QString& AMessage, const QString& ACode);

  TErrorForm& FForm;
  QStringList FLogHistory{"FFLOGGER HISTORY:"};
  TMailSettings FMailSettings;
  std::function<std::unique_ptr<TMailTransport>()> FTransportFactory;
};

}  // namespace app
