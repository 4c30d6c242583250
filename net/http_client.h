// The one HTTP client of the internet services (the version check and the feedback form), on Qt
// Network. Its calls block the caller but run Qt's event loop while they wait, so a window keeps
// painting and its controls keep answering during a transfer; the command-line tool uses the
// same client under a QCoreApplication. Redirects are followed, cookies are kept for the life of
// the client.
//
// Nothing a server does can hold the caller or its memory without end: a transfer that stalls
// ends after Qt's default transfer time-out, every request has an overall deadline as well (a
// server that sends one byte every few seconds never stalls), and each call says how much of
// the reply's body it keeps. Only http:// and https:// addresses are requested.
//
// Certificates: Qt's OpenSSL backend trusts the system's certificate folders only. Like OpenSSL's
// own tools, this client also trusts the certificates in the file that SSL_CERT_FILE names, so a
// site whose services use its own certificate authority can name it.
//
// Addresses are texts in their encoded form, as a browser's address bar would take them. The
// client needs a Qt application object (the window's, or a command's NetRuntime, runtime.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace net {

struct HttpReply {
  bool ok = false;    // a reply with a success status arrived
  int status = 0;     // the HTTP status, 0 when none arrived
  std::string body;   // the reply's body, also for an error status
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
  std::string content;
};

// What a front end hears of an upload: its start with the total size, each step, and its end.
struct UploadObserver {
  std::function<void(int64_t total)> begin;
  std::function<void(int64_t sent)> progress;
  std::function<void()> end;
};

// The overall deadline of a request: 30 s for the answer, and for an upload one more second for
// every kUploadBytesPerSecond of its body, so that an 8 MiB attachment on a slow line still goes.
// The environment variable VEXA_HTTP_DEADLINE_MS replaces the 30 s (tests use a short one).
inline constexpr std::chrono::milliseconds kRequestDeadline{30000};
inline constexpr int64_t kUploadBytesPerSecond = 32768;

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // A GET that keeps the reply's body; a body longer than `maxBody` bytes ends the transfer with
  // an error instead.
  HttpReply Get(const std::string& url, int64_t maxBody);
  // A GET that reads the reply's body and drops it: whether the host answers is all it asks.
  HttpReply Probe(const std::string& url);
  // A multipart/form-data POST of the fields, in order, then the files; the reply's body is kept
  // up to `maxBody` bytes as by Get.
  HttpReply PostForm(const std::string& url, const std::vector<FormField>& fields,
                     const std::vector<FormFile>& files, int64_t maxBody,
                     const UploadObserver& observer = {});

  // True while a transfer is in progress.
  bool Busy() const;
  // Ends the transfer in progress, if any; its call returns with an error.
  void Abort();

 private:
  class Transfers;  // Qt's network access and the transfer in progress
  std::unique_ptr<Transfers> transfers_;
};

// The headers every request of the services carries.
inline constexpr const char* kAcceptHeader = "text/html, */*";
inline constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

// True for a text that names an address the client requests: http:// or https:// with a host,
// read strictly (a text Qt would have to mend is none).
bool IsWebAddress(const std::string& url);

// A name or file name made safe for a part's Content-Disposition header: '"', CR and LF are
// percent-encoded as browsers do, so a file name cannot end the header early.
std::string DispositionValue(const std::string& text);

}  // namespace net
