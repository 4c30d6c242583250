// The instruments' text command line, the part every family shares: collecting a command up to
// its carriage return, splitting it into verb, option and value, and framing the answer.
//
// An answer is a carriage return, the answer text and the prompt (a carriage return and ">"):
// "\rFP 1.50\r>", "\rOK\r>", "\rERROR\r>"; with no text it is the bare prompt "\r\r>".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/uart_line.h"

// "verb -option value..." as the command line reads it.
struct Command {
  std::string verb;                // "get"
  std::string option;              // "-ver", empty when none
  std::string value;               // everything after the option and one blank, as sent
  std::vector<std::string> words;  // the value split at blanks
};

Command ParseCommand(std::string_view line);

// The answer framing.
std::string AnswerText(std::string_view text);

// The rates "set -baud N" selects, by N.
constexpr uint32_t kBaudCodes[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};

// Reads the whole of `text` as a number in `base`; false when it is empty or holds anything else.
bool ParseNumber(std::string_view text, long* value, int base = 10);

// The value in upper-case hex, as the instruments write channel numbers.
std::string Hex(long value);
inline constexpr std::string_view kRefusal = "ERROR";

// The access-code login of the families that need one: the Hydrella Lite (HLITE), Hydrella
// Series 3 (H3B), Hydrella 4 (HS4), PX3C and Hydrella Pre (PRE), known by the first word of
// their "get -ver" answer. Until "login *5927" such an instrument answers only its version and
// hardware revision (and an empty line) and refuses everything else with ERROR; "logout", a
// power loss or a restart ends the login. Another family's instrument is never gated.
class AccessCodeLogin {
 public:
  static constexpr std::string_view kAccessCode = "*5927";

  // `typeWord` is compared after upper-casing, as the updater matches it.
  explicit AccessCodeLogin(std::string_view typeWord);

  bool LoggedIn() const { return loggedIn_; }
  // False when the instrument must refuse `command` now.
  bool Admits(const Command& command) const;
  // "login CODE" and "logout" of a gated instrument: the answer text ("OK", or the refusal for a
  // wrong code, which changes nothing), the login changed accordingly. Nothing for any other
  // command, and for every command of an instrument that is not gated (its family answers its own
  // logins).
  std::optional<std::string_view> Take(const Command& command);
  // The power went or the firmware restarted.
  void Forget() { loggedIn_ = false; }

 private:
  bool required_;
  bool loggedIn_ = false;
};

// Collects received bytes into command lines.
class CommandLineReader {
 public:
  enum class Result {
    kNothing,  // keep collecting
    kLine,     // a carriage return ended a line (possibly empty)
    kTooLong,  // a carriage return ended a line longer than any command
    kNoise,    // line noise (a framing error, a byte outside 7-bit text): the line is dropped
  };

  // `nowMs` is when the byte arrived: noise that follows other noise closely belongs to the
  // same burst and is reported once.
  Result Take(const UartByte& byte, double nowMs, std::string* line);
  void Clear();

 private:
  static constexpr size_t kMaxLine = 520;
  static constexpr double kNoiseGapMs = 50;
  std::string line_;
  bool overflow_ = false;
  bool inNoise_ = false;
  double lastNoiseMs_ = 0;
};
