// What every setting command shares: one exchange per direction, the capability gates, the
// acceptance of a set, the log lines, and the two common shapes (a text value and a 32-bit
// number) driven by a row of settings. Used by the setting command files only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "instrument/device_context.h"
#include "instrument/setting_direction.h"

constexpr uint32_t kSettingTimeoutMs = 1500;
constexpr uint32_t kSettingAnswerBytes = 32;
constexpr uint32_t kLongestSettingAnswer = 128;  // the calibration factors
constexpr uint32_t kSettingCommandBytes = 160;   // the longest set: a 63-character host name

// How a read finds the value in the answer (value_reading.h).
enum class ValueRule {
  kText,               // text n
  kLine,               // line n
  kNumber,             // a decimal after white space
  kNumberAfterReturn,  // a decimal after the first carriage return
};

// Who may be asked.
enum class Gate {
  kCapability,  // the capability bits in `capabilities` (none: everyone)
  kNetwork,     // a Qd40 whose known trait says it carries the network modem settings
};

// One setting of the common shapes. The formats take the value and then the milliseconds; the
// table that defines the rows checks them at compile time.
struct SettingRow {
  const char* name;  // "SiteCommand": the start of every log line
  Gate gate;
  uint32_t capabilities;
  const char* setFormat;   // "set -site %s\r" or "set -report %d\r"
  const char* getCommand;  // "get -site\r"
  ValueRule rule;
  uint32_t limit;        // most characters of a text value
  uint32_t answerBytes;  // room for the answer
  bool promptByOldest;   // the oldest firmware accepts a set with its prompt instead of "OK"
  bool secret;           // logged as asterisks: the error file goes to the maker with feedback
  // A number that does not parse: kErrUnreadableAnswer, or kErrBarePrompt where the firmware
  // says so.
  int32_t unparsable;
  const char* setLine;
  const char* foundLine;
  const char* notFoundLine;  // numbers only
};

// True when `format` has exactly the conversions in `expected` ("sd": a text, then a number).
constexpr bool FormatTakes(const char* format, const char* expected) {
  for (; *format; ++format) {
    if (*format != '%') continue;
    ++format;
    if (*format == '%') continue;
    while (*format == '+' || *format == '.' || (*format >= '0' && *format <= '9')) ++format;
    if (*format == 'l') ++format;
    const char kind = *format == 'u' ? 'd' : *format;
    if (*expected != kind) return false;
    ++expected;
  }
  return *expected == 0;
}

// False when the instrument lacks what the row needs; nothing is sent then.
bool SettingAllowed(const DeviceContext* device, const SettingRow& row);
// The network gate alone.
bool CarriesNetworkSettings(const DeviceContext* device);

// One transaction: the command, ">" as the end, 1,500 ms. The answer (terminated) fills at most
// `answerBytes` (up to kLongestSettingAnswer); returns the transaction's result.
int32_t SettingExchange(DeviceContext* device, const char* command, char* answer,
                        uint32_t answerBytes);

// A set is accepted on "OK", or on the oldest firmware with the prompt where the row allows it.
bool SetAccepted(const DeviceContext* device, const char* answer, bool promptByOldest);

// Sends a set command and checks its acceptance. 1, or the failure, logged as below.
int32_t SendSet(DeviceContext* device, const char* name, const char* command, bool promptByOldest,
                uint32_t start, uint32_t answerBytes = kSettingAnswerBytes);

// Logs "<name> failed with error %d (%d ms)" at level 1 and returns `result`.
int32_t SettingFailed(DeviceContext* device, const char* name, int32_t result, uint32_t start);

// A secret as asterisks, one per character (`masked` holds `size` bytes).
void MaskSecret(const char* value, char* masked, size_t size);

// True when a text may be sent as a value of at most `limit` characters: no line ends or other
// control characters, which would end the command early and run the rest as another.
bool SendableText(const char* value, uint32_t limit);

// The common shapes: kWrite writes `value`, kRead reads it (overwritten only on success).
// Without `logFailure` a failed read is left for the caller to log (it may try another way).
int32_t TextSetting(DeviceContext* device, const SettingRow& row, char* value,
                    SettingDirection direction, bool logFailure = true);
int32_t NumberSetting(DeviceContext* device, const SettingRow& row, int32_t* value,
                      SettingDirection direction);
