#include "net/feedback_post.h"

#include <sys/utsname.h>

#include <QFileInfo>
#include <QMimeDatabase>
#include <fstream>

#include "link/result.h"
#include "net/regular_file.h"
#include "net/service_config.h"

namespace net {
namespace {

// PRETTY_NAME of os-release, without its quotes.
std::string PrettyName() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return {};
}

}  // namespace

HttpReply TestConnection(HttpClient& client, const std::string& host) {
  return client.Probe(ServiceUrl(host, "/"));
}

bool LoadAttachment(const std::string& path, FormFile* file, FileTrouble* trouble,
                    std::string* message) {
  FileContent source = ReadRegularFile(path, kMaxSendFileBytes);
  if (source.result != FileReading::kOk) {
    *trouble = source.result == FileReading::kMissing ? FileTrouble::kMissing : FileTrouble::kOther;
    *message = source.message;
    return false;
  }
  const QString name = QString::fromStdString(path);
  file->content = std::move(source.content);
  file->partName = QFileInfo(name).fileName().toStdString();
  file->fileName = path;
  file->contentType =
      QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name().toStdString();
  return true;
}

FeedbackPostResult PostFeedback(HttpClient& client, const std::string& host,
                                const FeedbackPost& post, const UploadObserver& observer) {
  FeedbackPostResult outcome;
  std::vector<FormField> fields;
  for (const auto& [name, value] : post.fields) fields.push_back({name, value});

  std::vector<FormFile> files;
  FileTrouble trouble = FileTrouble::kOther;
  std::string message;
  for (const std::string& log : post.errorLogs) {
    FormFile file;
    if (!log.empty() && LoadAttachment(log, &file, &trouble, &message)) files.push_back(file);
  }
  if (!post.userFile.empty()) {
    FormFile file;
    if (!LoadAttachment(post.userFile, &file, &trouble, &message)) {
      const std::string name =
          QFileInfo(QString::fromStdString(post.userFile)).fileName().toStdString();
      outcome.result = kResultNothingDone;
      outcome.fileError = ReadingFileErrorText(name, trouble, message);
      return outcome;
    }
    files.push_back(file);
  }

  const HttpReply reply = client.PostForm(ServiceUrl(host, kFeedbackScript), fields, files,
                                          kMaxFeedbackReplyBytes, observer);
  if (reply.ok && reply.body.find(kScriptCompleted) != std::string::npos) {
    outcome.result = kResultOk;
    return outcome;
  }
  outcome.result = kErrFeedbackFailed;
  outcome.message = reply.error;
  return outcome;
}

std::string LocalComputerInformation() {
  utsname system{};
  const std::string release = uname(&system) == 0 ? system.release : "";
  return ComputerInformation(PrettyName(), release);
}

std::string RunningProgramPath() {
  return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toStdString();
}

}  // namespace net
