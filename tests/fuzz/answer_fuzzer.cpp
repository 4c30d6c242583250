// libFuzzer target for the readers that take a value out of an instrument's answer. Answers come
// from a line that can be noisy or from a broken instrument, so any bytes must give a value that
// fits its field, a result the caller knows, and no read past the answer.
//
// Build and run with tools/fuzz.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrument/value_reading.h"
#include "link/result.h"

namespace {

constexpr uint32_t kLimits[] = {1, 8, 15, 25, 63};

void Check(bool holds) {
  if (!holds) std::abort();
}

// A text reader's outcome: a value of at most `limit` characters without a line end, and 1 only
// with a value.
void CheckText(int32_t result, const char* value, uint32_t limit) {
  const size_t length = std::strlen(value);
  Check(length <= limit);
  Check(std::strchr(value, '\r') == nullptr);
  Check(result == kResultOk ? length > 0 : length == 0);
  Check(result == kResultOk || result == kErrUnreadableAnswer || result == kErrBarePrompt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An answer as the transaction hands it over: terminated, possibly with zero bytes inside.
  const std::string answer(reinterpret_cast<const char*>(data), size);
  const char* text = answer.c_str();

  for (uint32_t limit : kLimits) {
    char value[80];
    std::memset(value, 'x', sizeof value);
    CheckText(ReadTextValue(text, value, limit), value, limit);
    std::memset(value, 'x', sizeof value);
    CheckText(ReadLineValue(text, value, limit, true), value, limit);
    std::memset(value, 'x', sizeof value);
    const int32_t word = ReadWordValue(text, value, limit);
    Check(word == kResultOk || word == kErrUnreadableAnswer);
    Check(std::strlen(value) <= limit && std::strpbrk(value, " \t\r\n>") == nullptr);
  }

  int32_t number = 7;
  const int32_t read = ReadNumberValue(text, size % 2 == 0, &number);
  Check(read == kResultOk || (read == kErrUnreadableAnswer && number == 7));

  uint8_t bytes[11];
  const int count = ReadByteValues(text, bytes, 11);
  Check(count >= 0 && count <= 11);

  double fraction = 0.5;
  const int32_t position = ReadDoubleValue(text, &fraction);
  Check(position == kResultOk || (position == kErrBarePrompt && fraction == 0.5));
  return 0;
}
