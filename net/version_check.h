// The firmware version check: asks the maker's version service which firmware is current for the
// product in hand, compares it with the carried image and offers to open the download or the page
// about it. The automatic check after start-up is quiet (it speaks only of a newer version); the
// one the user asks for also reports errors and that nothing is newer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class VexaLog;

namespace net {

class HttpClient;

// How the front end shows the check's boxes and opens a link; each front end has one.
class VersionPrompts {
 public:
  enum class Kind { kError, kInformation, kWarning };
  virtual ~VersionPrompts() = default;
  virtual void Show(Kind kind, const std::string& title, const std::string& text) = 0;
  // An information box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
  // Opens a web link with the desktop's default handler; false when that failed.
  virtual bool OpenLink(const std::string& link) = 0;
};

struct VersionCheckRequest {
  uint32_t carriedVersion = 0;  // major * 100 + minor * 10 + sub-minor
  std::string service;          // the version service's host
  std::string path;             // the version file on it
  bool quiet = false;
  std::string product;  // "FieldPal Firmware Updater"
  const VexaLog* log = nullptr;
};

struct VersionCheckOutcome {
  // 1 compared, 0 nothing to check, kErrVersionService (no service), kErrVersionUnreadable.
  int32_t result = 0;
  std::optional<uint32_t> serviceVersion;
  std::string message;  // the client's message for kErrVersionService
};

VersionCheckOutcome CheckVersion(HttpClient& client, VersionPrompts& prompts,
                                 const VersionCheckRequest& request);

}  // namespace net
