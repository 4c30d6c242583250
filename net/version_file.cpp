#include "net/version_file.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "link/result.h"

namespace net {
namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimEnd(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

std::string TrimStart(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

// The text as a whole decimal integer, as the instruments' version files were always read first.
std::optional<int64_t> WholeNumber(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<double> DecimalNumber(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<VersionFileParts> SplitVersionFile(const std::string& body) {
  const size_t at = body.find("http");
  if (at == std::string::npos) return std::nullopt;
  VersionFileParts parts;
  // The character before the link is the line break between the two.
  parts.versionText = TrimEnd(body.substr(0, at == 0 ? 0 : at - 1));
  parts.link = TrimEnd(body.substr(at, kMaxLinkLength));
  return parts;
}

std::optional<uint32_t> ReadVersionNumber(const std::string& text) {
  const std::string number = TrimStart(text);
  if (number.empty()) return std::nullopt;
  const std::optional<int64_t> whole = WholeNumber(number);
  if (whole && *whole >= 10) {
    if (*whole > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<uint32_t>(*whole);
  }
  std::optional<double> real = DecimalNumber(number);
  if (!real || *real < 0) return std::nullopt;
  if (*real < 100) *real *= 100;
  const double rounded = std::round(*real);
  if (rounded > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(rounded);
}

bool IsWebLink(const std::string& link) {
  const bool http = link.rfind("http://", 0) == 0;
  const bool https = link.rfind("https://", 0) == 0;
  if (!http && !https) return false;
  const size_t host = http ? 7 : 8;
  if (link.size() <= host || link[host] == '/') return false;
  for (char c : link) {
    if (IsBlank(c) || c == 0x7f) return false;
  }
  return true;
}

bool IsDownloadLink(const std::string& link) {
  return link.find(".exe") != std::string::npos;
}

VersionFileReading ReadVersionFile(const std::string& body) {
  VersionFileReading reading;
  reading.result = kErrVersionUnreadable;
  const std::optional<VersionFileParts> parts = SplitVersionFile(body);
  if (!parts) return reading;
  const std::optional<uint32_t> version = ReadVersionNumber(parts->versionText);
  if (!version || !IsWebLink(parts->link)) return reading;
  reading.result = kResultOk;
  reading.version = *version;
  reading.link = parts->link;
  reading.download = IsDownloadLink(parts->link);
  return reading;
}

}  // namespace net
