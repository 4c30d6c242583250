// The one HTTP client of the internet services (the version check and the feedback form), on Qt
// Network. Its calls block the caller but run Qt's event loop while they wait, so a window keeps
// painting and its controls keep answering during a transfer; the command-line tool uses the
// same client under a QCoreApplication. Redirects are followed, cookies are kept for the life of
// the client, and the time-out is Qt's default transfer time-out.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace net {

struct HttpReply {
  bool ok = false;    // a reply with a success status arrived
  int status = 0;     // the HTTP status, 0 when none arrived
  QByteArray body;    // the reply's body, also for an error status
  std::string error;  // the client's message when not ok
};

// A text field of a multipart form.
struct FormField {
  std::string name;
  std::string value;
};

// A file part of a multipart form: named by `partName`, carrying `fileName` as its file name.
struct FormFile {
  std::string partName;
  std::string fileName;
  std::string contentType;
  QByteArray content;
};

// What a front end hears of an upload: its start with the total size, each step, and its end.
struct UploadObserver {
  std::function<void(int64_t total)> begin;
  std::function<void(int64_t sent)> progress;
  std::function<void()> end;
};

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpReply Get(const QUrl& url);
  // A multipart/form-data POST of the fields, in order, then the files.
  HttpReply PostForm(const QUrl& url, const std::vector<FormField>& fields,
                     const std::vector<FormFile>& files, const UploadObserver& observer = {});

  // True while a transfer is in progress.
  bool Busy() const { return current_ != nullptr; }
  // Ends the transfer in progress, if any; its call returns with an error.
  void Abort();

 private:
  HttpReply Wait(QNetworkReply* reply);

  std::unique_ptr<QNetworkAccessManager> manager_;
  QNetworkReply* current_ = nullptr;
};

// The headers every request of the services carries.
inline constexpr const char* kAcceptHeader = "text/html, */*";
inline constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

// A name or file name made safe for a part's Content-Disposition header: '"', CR and LF are
// percent-encoded as browsers do, so a file name cannot end the header early.
std::string DispositionValue(const std::string& text);

}  // namespace net
