// SMTP mail transport through libcurl: see MailReport.h.
#include "app/MailReport.h"

#include <curl/curl.h>

#include <QDateTime>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace app {

namespace {

constexpr long kConnectTimeoutSeconds = 15;
constexpr long kTimeoutSeconds = 60;
// Lines of a mail may hold 998 characters; longer body lines are broken.
constexpr qsizetype kMaxLineBytes = 990;

struct TCurlCleanup {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};
struct TSlistFree {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};
using TCurlHandle = std::unique_ptr<CURL, TCurlCleanup>;
using TCurlList = std::unique_ptr<curl_slist, TSlistFree>;

void EnsureCurlGlobal() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (result != CURLE_OK) {
    throw TMailError(std::string("Cannot initialise the mail library: ") + curl_easy_strerror(result));
  }
}

QString HeaderValue(QString AText) {
  AText.replace('\r', ' ');
  AText.replace('\n', ' ');
  return AText.trimmed();
}

void AppendBodyLine(std::string& AOut, const QString& ALine) {
  QByteArray bytes = ALine.toUtf8();
  bytes.replace('\r', "");
  bytes.replace('\n', "");
  do {
    qsizetype take = std::min(bytes.size(), kMaxLineBytes);
    // Do not cut a UTF-8 sequence in two.
    while (take < bytes.size() && take > 0 && (static_cast<unsigned char>(bytes[take]) & 0xC0) == 0x80) --take;
    AOut.append(bytes.constData(), static_cast<size_t>(take));
    AOut += "\r\n";
    bytes.remove(0, take);
  } while (!bytes.isEmpty());
}

struct TUpload {
  const std::string* Data;
  size_t Offset = 0;
};

size_t ReadPayload(char* ABuffer, size_t ASize, size_t ACount, void* AUser) {
  auto* upload = static_cast<TUpload*>(AUser);
  const size_t room = ASize * ACount;
  const size_t left = upload->Data->size() - upload->Offset;
  const size_t n = std::min(room, left);
  std::memcpy(ABuffer, upload->Data->data() + upload->Offset, n);
  upload->Offset += n;
  return n;
}

void Check(CURLcode ACode, const char* AWhat) {
  if (ACode != CURLE_OK) throw TMailError(std::string(AWhat) + ": " + curl_easy_strerror(ACode));
}

}  // namespace

std::string ComposeMessage(const TMailMessage& AMessage) {
  const QString date = QDateTime::currentDateTime().toString(Qt::RFC2822Date);
  QStringList to;
  for (const QString& r : AMessage.Recipients) to << "<" + HeaderValue(r) + ">";
  std::string out;
  out += "Date: " + date.trimmed().toStdString() + "\r\n";
  out += "From: <" + HeaderValue(AMessage.From).toStdString() + ">\r\n";
  out += "To: " + to.join(", ").toStdString() + "\r\n";
  out += "Subject: " + HeaderValue(AMessage.Subject).toStdString() + "\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: 8bit\r\n";
  out += "\r\n";
  for (const QString& line : AMessage.Body) AppendBodyLine(out, line);
  return out;
}

struct TSmtpClient::TSession {
  TCurlHandle Handle;
  bool Open = false;  // a message went through: libcurl holds the connection
  char ErrorText[CURL_ERROR_SIZE] = {};
};

TSmtpClient::TSmtpClient() = default;
TSmtpClient::~TSmtpClient() { Disconnect(); }

void TSmtpClient::SetServer(const QString& AHost, int APort) {
  FHost = AHost;
  FPort = APort;
}

void TSmtpClient::SetLogin(const QString& AUserName, const QString& APassword) {
  FUserName = AUserName;
  FPassword = APassword;
}

void TSmtpClient::Connect() {
  EnsureCurlGlobal();
  Disconnect();
  if (FHost.isEmpty() || FPort <= 0 || FPort > 65535) throw TMailError("No mail server set");
  auto session = std::make_unique<TSession>();
  session->Handle.reset(curl_easy_init());
  if (!session->Handle) throw TMailError("Cannot create a mail session");
  CURL* h = session->Handle.get();
  const std::string url = "smtp://" + FHost.toStdString() + ":" + std::to_string(FPort);
  Check(curl_easy_setopt(h, CURLOPT_URL, url.c_str()), "Mail server address");
  Check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, session->ErrorText), "Mail session");
  Check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L), "Mail session");
  Check(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds), "Mail session");
  Check(curl_easy_setopt(h, CURLOPT_TIMEOUT, kTimeoutSeconds), "Mail session");
  Check(curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY)), "Mail session");
  if (!FUserName.isEmpty()) {
    Check(curl_easy_setopt(h, CURLOPT_USERNAME, FUserName.toUtf8().constData()), "Mail login");
    Check(curl_easy_setopt(h, CURLOPT_PASSWORD, FPassword.toUtf8().constData()), "Mail login");
  }
  FSession = std::move(session);
}

void TSmtpClient::Send(const TMailMessage& AMessage) {
  if (!FSession) throw TMailError("Not connected to the mail server");
  CURL* h = FSession->Handle.get();
  const std::string from = ("<" + HeaderValue(AMessage.From) + ">").toStdString();
  Check(curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str()), "Mail sender");
  TCurlList recipients;
  for (const QString& r : AMessage.Recipients) {
    curl_slist* list = curl_slist_append(recipients.get(), ("<" + HeaderValue(r) + ">").toStdString().c_str());
    if (list == nullptr) throw TMailError("Out of memory for the mail recipients");
    (void)recipients.release();
    recipients.reset(list);
  }
  Check(curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get()), "Mail recipients");
  const std::string payload = ComposeMessage(AMessage);
  TUpload upload{&payload};
  Check(curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadPayload), "Mail message");
  Check(curl_easy_setopt(h, CURLOPT_READDATA, &upload), "Mail message");
  Check(curl_easy_setopt(h, CURLOPT_UPLOAD, 1L), "Mail message");
  Check(curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(payload.size())), "Mail message");
  FSession->ErrorText[0] = '\0';
  const CURLcode result = curl_easy_perform(h);
  // The list and the payload die here: the handle must not keep pointing at them.
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, nullptr);
  curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
  if (result != CURLE_OK) {
    const std::string detail = FSession->ErrorText[0] != '\0' ? FSession->ErrorText : curl_easy_strerror(result);
    throw TMailError("Cannot send the mail: " + detail);
  }
  FSession->Open = true;
}

bool TSmtpClient::Connected() const { return FSession && FSession->Open; }

void TSmtpClient::Disconnect() { FSession.reset(); }

}  // namespace app
