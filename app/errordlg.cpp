// Error dialog and error report: see errordlg.h.
#include "app/errordlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/skin/Pictures.h"
#include "platform/Desktop.h"

namespace app {

TErrorForm::TErrorForm(QWidget* AParent) : QDialog(AParent) {
  setWindowTitle("Error!");
  setModal(true);
  setFixedWidth(500);

  auto* picture = new QLabel(this);
  picture->setPixmap(skin::ErrorPicture(40));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  picture->setFixedWidth(48);

  auto* intro = new QLabel("The following error occured:", this);
  QFont bold = intro->font();
  bold.setBold(true);
  intro->setFont(bold);
  lblErrorText = new QLabel(this);
  lblErrorText->setWordWrap(true);
  lblErrorText->setStyleSheet("color: #b02020;");
  lblErrorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* text1 = new QLabel(
      "Error report is generated. Please send it to developers to fix the problem.", this);
  auto* text2 = new QLabel("If you want to be notified when the problem is fixed,  you can leave", this);
  auto* text3 =
      new QLabel("your contact information. You can also provide details of the problem. ", this);

  auto* top = new QVBoxLayout;
  top->setSpacing(2);
  top->addWidget(intro);
  top->addWidget(lblErrorText);
  top->addSpacing(4);
  top->addWidget(text1);
  top->addWidget(text2);
  top->addWidget(text3);
  auto* header = new QHBoxLayout;
  header->addWidget(picture);
  header->addLayout(top, 1);

  edName = new QLineEdit(this);
  edEmail = new QLineEdit(this);
  memDetails = new QPlainTextEdit(this);
  auto* fields = new QGridLayout;
  fields->setVerticalSpacing(3);
  fields->addWidget(new QLabel("Your Name:", this), 0, 0);
  fields->addWidget(edName, 0, 1);
  fields->addWidget(new QLabel("Your E-Mail:", this), 1, 0);
  fields->addWidget(edEmail, 1, 1);
  auto* detailsLabel = new QLabel("Details:", this);
  detailsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  fields->addWidget(detailsLabel, 2, 0);
  fields->addWidget(memDetails, 2, 1);
  fields->setRowStretch(2, 1);

  btSend = new QPushButton("Send", this);
  btSend->setDefault(true);
  btCancel = new QPushButton("Cancel", this);
  connect(btSend, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btSend);
  buttons->addWidget(btCancel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 8, 10, 8);
  layout->setSpacing(5);
  layout->addLayout(header);
  layout->addLayout(fields, 1);
  layout->addLayout(buttons);
}

void TErrorForm::showEvent(QShowEvent* AEvent) {
  // The message may need more lines than the dialog's usual height has.
  layout()->activate();
  const int extra = std::max(0, lblErrorText->heightForWidth(lblErrorText->width()) -
                                    lblErrorText->fontMetrics().height());
  setFixedHeight(kClientHeight + extra);
  QDialog::showEvent(AEvent);
}

QString MailLink(const QString& ASupport, const QString& AMessage, const QString& ACode) {
  const QString body = AMessage + " ;CODE LINE MARK:" + ACode + ";  YOUR COMMENT (DETAILS):";
  return "mailto:" + ASupport + "?subject=" + QString::fromLatin1(QUrl::toPercentEncoding(kReportSubject)) +
         "&body=" + QString::fromLatin1(QUrl::toPercentEncoding(body));
}

TErrorReport::TErrorReport(TErrorForm& AForm)
    : FForm(AForm), FTransportFactory([] { return std::make_unique<TSmtpClient>(); }) {}

void TErrorReport::FFLoggerLog(void*, platform::ThreadId AThreadID, media::TLogLevel ALogLevel,
                               const std::string& ALogMsg) {
  FLogHistory.append("#" + QString::number(AThreadID) + "." + QString::number(static_cast<int>(ALogLevel)) +
                     ": " + QString::fromStdString(ALogMsg));
}

void TErrorReport::ReportError(const QString& AMessage, const QString& ACode) noexcept {
  try {
    FForm.lblErrorText->setText(AMessage);
    const int result = ShowDialog ? ShowDialog(FForm) : FForm.exec();
    if (result != QDialog::Accepted) return;
    SendReport(AMessage, ACode);
  } catch (...) {
    // A report must never become a failure of its own.
  }
}

void TErrorReport::SendReport(const QString& AMessage, const QString& ACode) {
  std::unique_ptr<TMailTransport> client = FTransportFactory();
  client->SetServer(FMailSettings.Server, FMailSettings.Port);
  client->SetLogin(FMailSettings.UserName, FMailSettings.Password);

  TMailMessage message;
  const QString email = FForm.edEmail->text();
  message.From = email.contains('@') ? email : FMailSettings.UserName;
  message.Recipients = {FMailSettings.Support};
  message.Subject = kReportSubject;

  FLogHistory.append(QString(25, '-'));
  FLogHistory.append("LAST ERROR MESSAGE: " + AMessage);
  FLogHistory.append("CODE LINE MARK: " + ACode);
  if (!FForm.edName->text().isEmpty()) FLogHistory.append("USER NAME: " + FForm.edName->text());
  const QString details = FForm.memDetails->toPlainText();
  if (!details.isEmpty()) {
    FLogHistory.append("PROBLEM DETAILS:");
    QStringList lines = details.split('\n');
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
    FLogHistory.append(lines);
  }
  message.Body = FLogHistory;

  try {
    client->Connect();
    client->Send(message);
  } catch (...) {
    try {
      platform::desktop::ShellOpen(MailLink(FMailSettings.Support, AMessage, ACode));
    } catch (...) {
      // The desktop shows its own notice when it has no mail program.
    }
  }
  try {
    if (client->Connected()) client->Disconnect();
  } catch (...) {
  }
}

}  // namespace app
