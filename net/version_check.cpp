#include "net/version_check.h"

#include <QUrl>

#include "link/log.h"
#include "link/result.h"
#include "net/http_client.h"
#include "net/service_config.h"
#include "net/version_file.h"
#include "net/version_texts.h"

namespace net {
namespace {

constexpr const char* kTag = "VersionCheck";

void Offer(VersionPrompts& prompts, const VersionCheckRequest& request,
           const VersionFileReading& reading) {
  const std::string question = reading.download ? NewDownloadText(request.product)
                                                : NewVersionPageText(request.product, reading.link);
  if (!prompts.AskYesNo("New Version Available", question)) return;
  LogMessage(request.log, vexa_log_level::kMilestone, kTag, "Opening %s", reading.link.c_str());
  if (!prompts.OpenLink(reading.link)) {
    prompts.Show(VersionPrompts::Kind::kWarning, "Web Browser Launch Error",
                 BrowserLaunchErrorText(request.product, reading.link));
  }
}

}  // namespace

VersionCheckOutcome CheckVersion(HttpClient& client, VersionPrompts& prompts,
                                 const VersionCheckRequest& request) {
  VersionCheckOutcome outcome;
  if (request.path.empty() || request.carriedVersion == 0) return outcome;

  const std::string url = ServiceUrl(request.service, request.path);
  LogMessage(request.log, vexa_log_level::kMilestone, kTag, "GET %s",
             QUrl(QString::fromStdString(url)).toString().toStdString().c_str());
  const HttpReply reply = client.Get(url, kMaxVersionFileBytes);
  VersionFileReading reading;
  if (!reply.ok) {
    outcome.result = kErrVersionService;
    outcome.message = reply.error;
  } else {
    reading = ReadVersionFile(reply.body);
    outcome.result = reading.result;
  }
  if (outcome.result < 0) {
    LogMessage(request.log, vexa_log_level::kError, kTag, "Version check failed (%d) %s",
               outcome.result, outcome.message.c_str());
    if (!request.quiet) {
      const std::string text = outcome.result == kErrVersionService
                                   ? VersionServiceErrorText(outcome.message)
                                   : VersionUnreadableText(outcome.result);
      prompts.Show(VersionPrompts::Kind::kError, "Version Check Error", text);
    }
    return outcome;
  }

  outcome.serviceVersion = reading.version;
  LogMessage(request.log, vexa_log_level::kMilestone, kTag, "Service version %u, carried %u",
             reading.version, request.carriedVersion);
  if (reading.version > request.carriedVersion) {
    Offer(prompts, request, reading);
  } else if (!request.quiet) {
    const std::string text = reading.version == request.carriedVersion
                                 ? LatestVersionText(request.product)
                                 : NewerThanServiceText(request.product);
    prompts.Show(VersionPrompts::Kind::kInformation, "Version Finder", text);
  }
  return outcome;
}

}  // namespace net
