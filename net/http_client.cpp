#include "net/http_client.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

namespace net {
namespace {

// What Qt holds of a reply before it is read: the reply is read as it arrives, so this bounds
// Qt's buffer while the body is checked against its limit.
constexpr qint64 kReadBufferBytes = 65536;

std::chrono::milliseconds DeadlineFromEnvironment() {
  const char* text = std::getenv("VEXA_HTTP_DEADLINE_MS");
  if (text == nullptr || *text == '\0') return kRequestDeadline;
  char* end = nullptr;
  const long long ms = std::strtoll(text, &end, 10);
  if (*end != '\0' || ms <= 0) return kRequestDeadline;
  return std::chrono::milliseconds(ms);
}

// The system's certificates and, when SSL_CERT_FILE names a file, the ones in it. Naming any
// certificate switches off Qt's loading of the system's on demand, so both are named.
QSslConfiguration SslConfiguration() {
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  const QString file = qEnvironmentVariable("SSL_CERT_FILE");
  if (file.isEmpty()) return configuration;
  const QList<QSslCertificate> extra = QSslCertificate::fromPath(file, QSsl::Pem);
  if (!extra.isEmpty()) {
    configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
  }
  return configuration;
}

QString Seconds(std::chrono::milliseconds time) {
  return QString::number(static_cast<double>(time.count()) / 1000.0);
}

// An address of the public interface: its encoded text, read as Qt reads a typed address.
QUrl UrlOf(const std::string& text) {
  return QUrl(QString::fromStdString(text));
}

bool IsWebUrl(const QUrl& url) {
  return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") &&
         !url.host().isEmpty();
}

HttpReply Refused(const QUrl& url) {
  HttpReply reply;
  reply.error = url.toString().toStdString() + " is not an http:// or https:// address";
  return reply;
}

QHttpPart TextPart(const FormField& field) {
  QHttpPart part;
  const std::string disposition = "form-data; name=\"" + DispositionValue(field.name) + "\"";
  part.setHeader(QNetworkRequest::ContentDispositionHeader, QByteArray::fromStdString(disposition));
  part.setBody(QByteArray::fromStdString(field.value));
  return part;
}

QHttpPart FilePart(const FormFile& file) {
  QHttpPart part;
  const std::string disposition = "form-data; name=\"" + DispositionValue(file.partName) +
                                  "\"; filename=\"" + DispositionValue(file.fileName) + "\"";
  part.setHeader(QNetworkRequest::ContentDispositionHeader, QByteArray::fromStdString(disposition));
  part.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray::fromStdString(file.contentType));
  part.setBody(QByteArray::fromStdString(file.content));
  return part;
}

}  // namespace

std::string DispositionValue(const std::string& text) {
  std::string safe;
  for (char c : text) {
    if (c == '"') {
      safe += "%22";
    } else if (c == '\r') {
      safe += "%0D";
    } else if (c == '\n') {
      safe += "%0A";
    } else {
      safe += c;
    }
  }
  return safe;
}

bool IsWebAddress(const std::string& url) {
  return IsWebUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

class HttpClient::Transfers {
 public:
  Transfers()
      : manager_(std::make_unique<QNetworkAccessManager>()),
        ssl_(SslConfiguration()),
        deadline_(DeadlineFromEnvironment()) {
    manager_->setCookieJar(new QNetworkCookieJar(manager_.get()));
  }

  HttpReply Get(const QUrl& url, int64_t maxBody);
  HttpReply PostForm(const QUrl& url, const std::vector<FormField>& fields,
                     const std::vector<FormFile>& files, int64_t maxBody,
                     const UploadObserver& observer);
  bool Busy() const { return current_ != nullptr; }
  void Abort() {
    if (current_) current_->abort();
  }

 private:
  QNetworkRequest Request(const QUrl& url) const;
  // `maxBody` below 0: the body is dropped.
  HttpReply Wait(QNetworkReply* reply, int64_t maxBody, std::chrono::milliseconds deadline);

  std::unique_ptr<QNetworkAccessManager> manager_;
  QSslConfiguration ssl_;
  std::chrono::milliseconds deadline_;
  QNetworkReply* current_ = nullptr;
};

HttpClient::HttpClient() : transfers_(std::make_unique<Transfers>()) {}

HttpClient::~HttpClient() {
  Abort();
}

HttpReply HttpClient::Get(const std::string& url, int64_t maxBody) {
  return transfers_->Get(UrlOf(url), maxBody);
}

HttpReply HttpClient::Probe(const std::string& url) {
  return transfers_->Get(UrlOf(url), -1);
}

HttpReply HttpClient::PostForm(const std::string& url, const std::vector<FormField>& fields,
                               const std::vector<FormFile>& files, int64_t maxBody,
                               const UploadObserver& observer) {
  return transfers_->PostForm(UrlOf(url), fields, files, maxBody, observer);
}

bool HttpClient::Busy() const {
  return transfers_->Busy();
}

void HttpClient::Abort() {
  transfers_->Abort();
}

QNetworkRequest HttpClient::Transfers::Request(const QUrl& url) const {
  QNetworkRequest request(url);
  request.setRawHeader("Accept", kAcceptHeader);
  request.setHeader(QNetworkRequest::UserAgentHeader, kUserAgent);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout();  // Qt's default: the time a transfer may stall
  if (url.scheme() == "https") request.setSslConfiguration(ssl_);
  return request;
}

HttpReply HttpClient::Transfers::Get(const QUrl& url, int64_t maxBody) {
  if (!IsWebUrl(url)) return Refused(url);
  return Wait(manager_->get(Request(url)), maxBody, deadline_);
}

HttpReply HttpClient::Transfers::PostForm(const QUrl& url, const std::vector<FormField>& fields,
                                          const std::vector<FormFile>& files, int64_t maxBody,
                                          const UploadObserver& observer) {
  if (!IsWebUrl(url)) return Refused(url);
  int64_t bodyBytes = 0;
  auto* form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
  for (const FormField& field : fields) {
    form->append(TextPart(field));
    bodyBytes += static_cast<int64_t>(field.value.size());
  }
  for (const FormFile& file : files) {
    form->append(FilePart(file));
    bodyBytes += static_cast<int64_t>(file.content.size());
  }
  const std::chrono::milliseconds deadline =
      deadline_ + std::chrono::seconds(bodyBytes / kUploadBytesPerSecond);
  QNetworkReply* reply = manager_->post(Request(url), form);
  form->setParent(reply);  // the body lives as long as its upload

  bool begun = false;
  QObject::connect(reply, &QNetworkReply::uploadProgress, reply,
                   [&observer, &begun](qint64 sent, qint64 total) {
                     if (!begun && total > 0) {
                       begun = true;
                       if (observer.begin) observer.begin(total);
                     }
                     if (begun && observer.progress) observer.progress(sent);
                   });
  HttpReply result = Wait(reply, maxBody, deadline);
  QObject::disconnect(reply, &QNetworkReply::uploadProgress, nullptr, nullptr);
  if (begun && observer.end) observer.end();
  return result;
}

HttpReply HttpClient::Transfers::Wait(QNetworkReply* reply, int64_t maxBody,
                                      std::chrono::milliseconds deadline) {
  current_ = reply;
  HttpReply result;
  QString stopped;  // why the client ended the transfer itself
  auto stop = [reply, &stopped](const QString& why) {
    if (stopped.isEmpty()) stopped = why;
    reply->abort();
  };
  const QString tooLarge =
      QStringLiteral("The reply was abandoned: it is larger than %1 bytes").arg(maxBody);
  // The body is read as it arrives, so neither Qt nor this client holds more than the limit.
  auto take = [reply, maxBody, &result, &stop, &tooLarge] {
    const QByteArray chunk = reply->readAll();
    if (maxBody < 0) return;
    if (static_cast<int64_t>(result.body.size()) + chunk.size() > maxBody) {
      stop(tooLarge);
      return;
    }
    result.body.append(chunk.constData(), static_cast<size_t>(chunk.size()));
  };
  reply->setReadBufferSize(kReadBufferBytes);
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
  // A body announced as too long is not fetched at all.
  QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                   [maxBody, &stop, &tooLarge](qint64, qint64 total) {
                     if (maxBody >= 0 && total > maxBody) stop(tooLarge);
                   });
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, [&stop, deadline] {
    stop(QStringLiteral("The reply was abandoned: it did not arrive within %1 seconds")
             .arg(Seconds(deadline)));
  });
  timer.start(deadline);
  if (!reply->isFinished()) loop.exec();
  // The loop also ends when the application quits: a transfer still under way is abandoned.
  if (!reply->isFinished()) reply->abort();
  timer.stop();
  QObject::disconnect(reply, nullptr, &loop, nullptr);
  if (stopped.isEmpty()) take();                // what arrived with the end of the reply
  if (!stopped.isEmpty()) result.body.clear();  // a part of a body is no answer
  current_ = nullptr;

  result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  result.ok = stopped.isEmpty() && reply->error() == QNetworkReply::NoError;
  if (!result.ok) {
    result.error = (stopped.isEmpty() ? reply->errorString() : stopped).toStdString();
  }
  reply->deleteLater();
  return result;
}

}  // namespace net
