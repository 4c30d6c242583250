// libFuzzer target for the version service's answer. Whatever the service (or anyone between it
// and the updater) sends, these must hold:
//  - the split, the version reading and the link check end without a fault;
//  - a split's link starts with "http", is at most 999 characters and ends in no white space;
//  - an answer read as good gives a link that is a web link and nothing else: http:// or
//    https://, a host, no blanks or control characters. Only such a link is ever opened.
// A failed property aborts, so libFuzzer keeps the input.
//
// Build and run with tools/fuzz.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/result.h"
#include "net/version_file.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "version_file_fuzzer: %s does not hold\n", what);
  std::abort();
}

// Not white space or a control character below the blank (bytes above 127 are text).
bool Printable(char c) {
  return static_cast<unsigned char>(c) > ' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);

  if (const auto parts = net::SplitVersionFile(body)) {
    Check(parts->link.rfind("http", 0) == 0, "the link starts with http");
    Check(parts->link.size() <= net::kMaxLinkLength, "the link is at most 999 characters");
    Check(Printable(parts->link.back()), "the link ends in no white space");
    Check(parts->versionText.empty() || Printable(parts->versionText.back()),
          "the version text ends in no white space");
    (void)net::ReadVersionNumber(parts->versionText);
  }

  const net::VersionFileReading reading = net::ReadVersionFile(body);
  Check(reading.result == kResultOk || reading.result == kErrVersionUnreadable,
        "the result is 1 or -1002");
  if (reading.result == kResultOk) {
    const std::string& link = reading.link;
    Check(link.rfind("http://", 0) == 0 || link.rfind("https://", 0) == 0, "a web link's scheme");
    for (char c : link) {
      Check(static_cast<unsigned char>(c) > ' ' && c != 0x7f, "no blank or control character");
    }
    Check(reading.download == (link.find(".exe") != std::string::npos), "the download kind");
  }
  return 0;
}
