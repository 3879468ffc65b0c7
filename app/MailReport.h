#pragma once
// Mail transport for error reports: a client of the mail transfer protocol
// (SMTP) with a plain-text message. Every failure is a TMailError.

#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

namespace app {

class TMailError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TMailMessage {
  QString From;
  QStringList Recipients;
  QString Subject;
  QStringList Body;  // plain-text lines
};

// What an error report needs of a mail client.
class TMailTransport {
 public:
  virtual ~TMailTransport() = default;
  virtual void SetServer(const QString& AHost, int APort) = 0;
  virtual void SetLogin(const QString& AUserName, const QString& APassword) = 0;
  // Prepares the session; throws TMailError.
  virtual void Connect() = 0;
  // Sends one message; throws TMailError.
  virtual void Send(const TMailMessage& AMessage) = 0;
  virtual bool Connected() const = 0;
  virtual void Disconnect() = 0;
};

// The message as it goes on the wire: headers, a blank line, the body lines,
// every line ended by CR LF. Header values lose any line breaks; body lines
// longer than the protocol allows are broken.
std::string ComposeMessage(const TMailMessage& AMessage);

// SMTP through libcurl. The connection opens with the first message (libcurl
// logs in with the user name and password when the server offers a login,
// and uses STARTTLS when the server offers it) and stays open until
// Disconnect.
class TSmtpClient : public TMailTransport {
 public:
  TSmtpClient();
  ~TSmtpClient() override;

  void SetServer(const QString& AHost, int APort) override;
  void SetLogin(const QString& AUserName, const QString& APassword) override;
  void Connect() override;
  void Send(const TMailMessage& AMessage) override;
  bool Connected() const override;
  void Disconnect() override;

 private:
  struct TSession;
  QString FHost;
  int FPort = 25;
  QString FUserName;
  QString FPassword;
  std::unique_ptr<TSession> FSession;
};

}  // namespace app
