// The version service's answer, read without any I/O: the body of the version file is a version,
// a line break and a link that begins with "http". Used by the version check and by its fuzzer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace net {

// The version file split into its two texts, trailing white space removed from both.
struct VersionFileParts {
  std::string versionText;
  std::string link;  // at most kMaxLinkLength characters
};

constexpr size_t kMaxLinkLength = 999;

// The version file is a few lines; a longer answer is not one, and is not read beyond this.
constexpr int64_t kMaxVersionFileBytes = 65536;

// The split at the first "http": the version is the text before the character that precedes it
// (the line break), the link is the rest. Nothing when the body holds no "http".
std::optional<VersionFileParts> SplitVersionFile(const std::string& body);

// The version number of a version text: a whole number stands as it is unless it is below 10;
// otherwise (or then) the text is read as a decimal number, times 100 when below 100, rounded.
// "203" and "2.03" give 203, "10.32" 1032, "5" 500. Nothing when the text is not a number, or is
// negative, not finite or too large for a version.
std::optional<uint32_t> ReadVersionNumber(const std::string& text);

// True for the only links the check ever hands to the desktop: an absolute http:// or https://
// address without blanks or control characters. A damaged or forged answer must not start any
// other handler the desktop knows ("httpx:", a local file, a script).
bool IsWebLink(const std::string& link);

// A link to the installer itself rather than to a page about it.
bool IsDownloadLink(const std::string& link);

// The whole reading of an answer: the service's version and its link, or the code
// kErrVersionUnreadable when there is no "http", the version is not a number or the link
// is not a web link.
struct VersionFileReading {
  int32_t result = 0;  // 1, or kErrVersionUnreadable
  uint32_t version = 0;
  std::string link;
  bool download = false;
};
VersionFileReading ReadVersionFile(const std::string& body);

}  // namespace net
