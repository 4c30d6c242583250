// The sensor's calibration strings: X4 (main), Xa (secondary, written back as Xb) and XO (offset),
// which types carry which, the defaults older firmware lacks, and the conversion of the oldest
// nine-number X4.
#include <cstdio>
#include <cstring>

#include "sdi12/sensor_exchange.h"
#include "sdi12/vexa_sdi12.h"

namespace {

constexpr char kGau1 = '^';    // carries no calibration at all
constexpr char kOffset = ']';  // the one type with an offset calibration
constexpr const char* kReadsXa = "ylkwhgzx\\]";
constexpr const char* kWritesXb = "ywkhgzx\\]";
constexpr uint32_t kShortestXaAnswer = 9;  // shorter: the sensor has no Xa of its own

// Xa of the first firmware generations, and what later firmware of the same types uses; each is
// written like an answer, with "a" in the place of the address.
constexpr const char* kFirstXa = "a 1 1.44832 1.91683 2.35961 2.991";
constexpr uint32_t kFirstXaCompared = 32;  // from the blank after the address on
constexpr const char* kSecondXaZx = "a 1 1.39619 2.03054 2.54573 2.9907";
constexpr const char* kSecondXaW = "a 1 1.4724 2.03944 2.5652 2.9907";

// Which firmware versions of a type need which Xa: the first set up to `firstUpTo`, the second
// from there up to `secondUpTo`; newer firmware brings its own.
struct XaGenerations {
  uint32_t firstUpTo;
  uint32_t secondUpTo;
  const char* second;
};
constexpr XaGenerations kZxGenerations = {355, 399, kSecondXaZx};
constexpr XaGenerations kWGenerations = {352, 401, kSecondXaW};

bool HasType(const VexaSDI12* sdi, const char* types) {
  return sdi->type != 0 && std::strchr(types, sdi->type) != nullptr;
}

void CutAtLineFeed(char* text) {
  if (char* lineFeed = std::strchr(text, '\n')) *lineFeed = 0;
}

// Old firmware of types 'z' and 'x' marks an unused coefficient "-1"; newer firmware reads that
// as a coefficient and wants "+0". Only whole tokens change: the "-1" of "2.5e-1" is a number.
bool ReplaceMinusOnes(char* answer) {
  bool changed = false;
  for (char* at = std::strstr(answer + 1, "-1"); at; at = std::strstr(at + 2, "-1")) {
    const bool startsToken = at == answer + 1 || at[-1] == ' ';
    const char after = at[2];
    const bool endsToken = after == ' ' || after == '\r' || after == '\n' || after == 0;
    if (startsToken && endsToken) {
      at[0] = '+';
      at[1] = '0';
      changed = true;
    }
  }
  return changed;
}

// Picks the Xa answer for types whose older firmware has none or the first set. True when a
// default or replacement took the sensor's place.
bool ChooseXa(const VexaSDI12* sdi, const XaGenerations& generations, bool answered,
              const char** answer) {
  if (!answered || std::strlen(*answer) < kShortestXaAnswer) {
    if (sdi->version <= generations.firstUpTo) {
      *answer = kFirstXa;
      return true;
    }
    if (sdi->version <= generations.secondUpTo) {
      *answer = generations.second;
      return true;
    }
    return false;
  }
  if (sdi->version > generations.firstUpTo && sdi->version <= generations.secondUpTo &&
      std::strncmp(*answer + 1, kFirstXa + 1, kFirstXaCompared) == 0) {
    *answer = generations.second;
    return true;
  }
  return false;
}

// Writes one calibration with "?<name><text>!". Returns 1, kErrRefused, kErrNoAttempt or the
// link's failure.
int32_t SetCalibration(VexaSDI12* sdi, const char* name, const char* text) {
  char command[kCalibrationSize + 8];
  std::snprintf(command, sizeof command, "?%s%s!", name, text);
  int32_t lastExchange = 0;
  int32_t result = ConfirmSetting(sdi, command, &lastExchange);
  if (result == kResultOk) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorCalibration successfully set sensor %s calibration to \"%s\"", name,
               text);
  } else if (lastExchange < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorCalibration received error %i for %s", lastExchange, name);
    result = lastExchange;
  }
  return result;
}

}  // namespace

int32_t SDIGetSensorCalibration(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  if (sdi->type == kGau1) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorCalibration no calibration for version GAU-1");
    return 0;
  }
  char answer[kSensorAnswerSize + 1];
  int32_t got = 0;
  for (int attention = 0; attention < 3; ++attention) {
    got = SensorExchange(sdi, "?!", answer);
    if (got > 0) break;
  }
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorCalibration \"attention sequence\" received error %i", got);
  }

  got = SensorExchange(sdi, "?X4!", answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorCalibration received error %i looking for X4", got);
    return got;
  }
  if ((sdi->type == 'z' || sdi->type == 'x') && ReplaceMinusOnes(answer)) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorCalibration updated X4 to remove '-1'");
  }
  SensorAnswerText(answer, sdi->x4, kCalibrationSize - 1);
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
             "SDIGetSensorCalibration found calibration X4 \"%s\"", sdi->x4);

  if (HasType(sdi, kReadsXa)) {
    got = SensorExchange(sdi, "?Xa!", answer);
    if (got < 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDIGetSensorCalibration received error %i looking for Xa", got);
      if (sdi->type == 'y') return got;
    }
    const char* xa = answer;
    bool chosen = false;
    if (sdi->type == 'z' || sdi->type == 'x') chosen = ChooseXa(sdi, kZxGenerations, got > 0, &xa);
    if (sdi->type == 'w') chosen = ChooseXa(sdi, kWGenerations, got > 0, &xa);
    SensorAnswerText(xa, sdi->xa, kCalibrationSize - 1);
    CutAtLineFeed(sdi->x4);
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorCalibration %s calibration Xa \"%s\"", chosen ? "set" : "found",
               sdi->xa);
  }

  if (sdi->type == kOffset) {
    sdi->xoPresent = false;
    sdi->xo[0] = 0;
    got = SensorExchange(sdi, "?XO!", answer);
    if (got < 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDIGetSensorCalibration received error %i looking for XO", got);
    } else if (std::strstr(answer, "ERROR")) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDIGetSensorCalibration received \"ERROR\" response looking for XO");
    } else {
      sdi->xoPresent = true;
      SensorAnswerText(answer, sdi->xo, kCalibrationSize - 1);
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDIGetSensorCalibration found calibration XO \"%s\"", sdi->xo);
    }
  }
  return kResultOk;
}

int32_t SDISetSensorCalibration(VexaSDI12* sdi, const char* x5) {
  if (!sdi) return kErrMissingArgument;
  if (sdi->type == kGau1) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDISetSensorCalibration skipped GAU-1");
    return 0;
  }
  // A calibration string is at most 511 characters; a longer argument is cut like a stored one.
  char text[kCalibrationSize];
  std::snprintf(text, sizeof text, "%s", x5 ? x5 : sdi->x4);
  if (text[0] == 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorCalibration doesn't have a valid X5 calibration string");
    return 0;
  }
  int32_t result = SetCalibration(sdi, "X5", text);
  // With no Xa saved (the sensor had none to give) nothing is written: an empty Xb would wipe
  // the sensor's secondary calibration.
  if (HasType(sdi, kWritesXb) && sdi->xa[0] != 0) {
    const int32_t xb = SetCalibration(sdi, "Xb", sdi->xa);
    if (xb != kResultOk) result = xb;
  }
  if (sdi->type == kOffset && sdi->xoPresent) {
    const int32_t xo = SetCalibration(sdi, "XO", sdi->xo);
    if (xo != kResultOk) result = xo;
  }
  if (result != kResultOk) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorCalibration did not set sensor calibration");
  }
  return result;
}

void ConvertOldCalibration(VexaSDI12* sdi) {
  if (!sdi || (sdi->type != 'u' && sdi->type != 't') || sdi->version >= 340) return;
  float f[9] = {};
  const int read = std::sscanf(sdi->x4, "%f %f %f %f %f %f %f %f %f", &f[0], &f[1], &f[2], &f[3],
                               &f[4], &f[5], &f[6], &f[7], &f[8]);
  const float span = f[2] - f[1];
  // Only a complete nine-number X4 with a span can be converted; anything else (a six-number X4
  // already, or a damaged one) is kept as the sensor gave it rather than replaced by zeros.
  if (read != 9 || span == 0.0f) return;
  const float c1 = -1000.0f * f[1] / span;
  const float c2 = 1000.0f / span;
  const float c3 = 0.0f;
  const float c4 = (f[4] + f[5]) * 0.5f;
  std::snprintf(sdi->x4, kCalibrationSize, "%0.3f %0.6e %0.6e %0.6e %0.1f %0.1f",
                static_cast<double>(f[0]), static_cast<double>(c1), static_cast<double>(c2),
                static_cast<double>(c3), static_cast<double>(c4), static_cast<double>(f[8]));
}
