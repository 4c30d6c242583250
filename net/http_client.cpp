#include "net/http_client.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace net {
namespace {

QNetworkRequest Request(const QUrl& url) {
  QNetworkRequest request(url);
  request.setRawHeader("Accept", kAcceptHeader);
  request.setHeader(QNetworkRequest::UserAgentHeader, kUserAgent);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout();  // Qt's default
  return request;
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
  part.setBody(file.content);
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

HttpClient::HttpClient() : manager_(std::make_unique<QNetworkAccessManager>()) {
  manager_->setCookieJar(new QNetworkCookieJar(manager_.get()));
}

HttpClient::~HttpClient() {
  Abort();
}

HttpReply HttpClient::Get(const QUrl& url) {
  return Wait(manager_->get(Request(url)));
}

HttpReply HttpClient::PostForm(const QUrl& url, const std::vector<FormField>& fields,
                               const std::vector<FormFile>& files, const UploadObserver& observer) {
  auto* form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
  for (const FormField& field : fields) form->append(TextPart(field));
  for (const FormFile& file : files) form->append(FilePart(file));
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
  HttpReply result = Wait(reply);
  QObject::disconnect(reply, &QNetworkReply::uploadProgress, nullptr, nullptr);
  if (begun && observer.end) observer.end();
  return result;
}

void HttpClient::Abort() {
  if (current_) current_->abort();
}

HttpReply HttpClient::Wait(QNetworkReply* reply) {
  current_ = reply;
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished()) loop.exec();
  // The loop also ends when the application quits: a transfer still under way is abandoned.
  if (!reply->isFinished()) reply->abort();
  current_ = nullptr;

  HttpReply result;
  result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  result.body = reply->readAll();
  result.ok = reply->error() == QNetworkReply::NoError;
  if (!result.ok) result.error = reply->errorString().toStdString();
  reply->deleteLater();
  return result;
}

}  // namespace net
