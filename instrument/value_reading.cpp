#include "instrument/value_reading.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "link/result.h"

namespace {

const char* AfterFirstReturn(const char* answer) {
  const char* at = std::strchr(answer, '\r');
  return at ? at + 1 : answer;
}

const char* SkipSpace(const char* text) {
  while (*text && std::isspace(static_cast<unsigned char>(*text))) ++text;
  return text;
}

// Copies up to a carriage return or the end, at most `limit` characters; returns the count.
uint32_t CopyLine(const char* from, char* value, uint32_t limit) {
  uint32_t length = 0;
  while (length < limit && from[length] && from[length] != '\r') {
    value[length] = from[length];
    ++length;
  }
  value[length] = 0;
  return length;
}

}  // namespace

int32_t ReadWordValue(const char* answer, char* value, uint32_t limit) {
  const char* from = SkipSpace(AfterFirstReturn(answer));
  uint32_t length = 0;
  while (length < limit && from[length] && from[length] != '>' &&
         !std::isspace(static_cast<unsigned char>(from[length]))) {
    value[length] = from[length];
    ++length;
  }
  value[length] = 0;
  return length > 0 ? kResultOk : kErrUnreadableAnswer;
}

int32_t ReadTextValue(const char* answer, char* value, uint32_t limit) {
  value[0] = 0;
  const char* from = SkipSpace(answer);
  if (*from == '>') return kErrBarePrompt;
  return CopyLine(from, value, limit) > 0 ? kResultOk : kErrUnreadableAnswer;
}

int32_t ReadLineValue(const char* answer, char* value, uint32_t limit, bool checkPrompt) {
  value[0] = 0;
  const char* from = AfterFirstReturn(answer);
  if (*from == '>') return checkPrompt ? kErrBarePrompt : kErrUnreadableAnswer;
  return CopyLine(from, value, limit) > 0 ? kResultOk : kErrUnreadableAnswer;
}

int32_t ReadNumberValue(const char* answer, bool afterReturn, int32_t* value) {
  const char* from = afterReturn ? AfterFirstReturn(answer) : answer;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(from, &end, 10);
  if (end == from || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) {
    return kErrUnreadableAnswer;
  }
  *value = static_cast<int32_t>(parsed);
  return kResultOk;
}

int ReadByteValues(const char* answer, uint8_t* values, int count) {
  const char* from = answer;
  int read = 0;
  while (read < count) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(from, &end, 10);
    if (end == from) break;
    values[read++] =
        errno == ERANGE || parsed < 0 || parsed > 255 ? 255 : static_cast<uint8_t>(parsed);
    from = end;
  }
  return read;
}

int32_t ReadDoubleValue(const char* answer, double* value) {
  char* end = nullptr;
  const double parsed = std::strtod(answer, &end);
  if (end == answer || !std::isfinite(parsed)) return kErrBarePrompt;
  *value = parsed;
  return kResultOk;
}
