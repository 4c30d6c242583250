// The sensor's type code: read with "?X8!" (or guessed from the identification of sensors whose
// firmware cannot tell) and set with "?X9 ...!". A type is a character value; some sensors report
// it as a letter, others as a number.
#include <cstdio>
#include <cstring>

#include "sdi12/sensor_exchange.h"
#include "sdi12/vexa_sdi12.h"

namespace {

constexpr uint32_t kTypeDigits = 3;
constexpr uint32_t kLargestTypeCode = 254;  // 255, like 0, is no type

// Sensors whose firmware predates "?X8!", known by their identification text.
struct IdentifiedType {
  const char* model;
  uint8_t type;
  bool numeric;
};
constexpr IdentifiedType kIdentifiedTypes[] = {
    {"7QA   ", 'z', false},
    {"HV-TM ", '}', false},
    {"HV-TE ", 127, true},  // no printable letter: sent as a number
};

// Family requests re-apply the present type when it is one of the family's members.
struct Family {
  uint32_t request;
  const char* members;
  const char* name;  // as the refusal names it
};
constexpr Family kFamilies[] = {
    {sensor_family::kLrn, "sron", "LRN"},        {sensor_family::kWtp, "yl", "WTP"},
    {sensor_family::kKvl, "tjie", "KVL"},        {sensor_family::kBhx, "pf", "BH-x"},
    {sensor_family::kTorva1x, "hg", "TORVA 1x"},
};

// Reads the type from the "?X8!" answer. False when the text holds none.
bool ParseTypeAnswer(VexaSDI12* sdi, const char* answer) {
  char text[kTypeDigits + 1];
  SensorAnswerText(answer, text, kTypeDigits);
  if (text[0] == 0) return false;
  if (text[0] >= '0' && text[0] <= '9') {
    uint32_t value = 0;
    for (uint32_t i = 0; text[i] >= '0' && text[i] <= '9'; ++i)
      value = value * 10 + (text[i] - '0');
    // A type code is one byte: a larger number is no type this layer can keep or send back.
    if (value == 0 || value > kLargestTypeCode) return false;
    sdi->type = static_cast<uint8_t>(value);
    sdi->numericType = true;
    return true;
  }
  sdi->type = static_cast<uint8_t>(text[0]);
  sdi->numericType = false;
  return true;
}

bool TypeFromIdentification(VexaSDI12* sdi) {
  if (sdi->info[0] == 0) SDIGetSensorVersion(sdi);
  for (const IdentifiedType& known : kIdentifiedTypes) {
    if (std::strstr(sdi->info, known.model)) {
      sdi->type = known.type;
      sdi->numericType = known.numeric;
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t SDIGetSensorType(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  char answer[kSensorAnswerSize + 1];
  const int32_t got = SensorExchange(sdi, "?X8!", answer);
  if (got < 0)
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDIGetSensorType received error %i",
               got);
  if ((got > 0 && ParseTypeAnswer(sdi, answer)) || TypeFromIdentification(sdi)) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorType found sensor type as \"%u\"", sdi->type);
    return kResultOk;
  }
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
             "SDIGetSensorType couldn't detirmine sensor type");
  return -1;
}

int32_t SDISetSensorType(VexaSDI12* sdi, uint32_t requested) {
  if (!sdi) return kErrMissingArgument;
  uint32_t type = requested;
  const Family* family = nullptr;
  for (const Family& candidate : kFamilies) {
    if (candidate.request == requested) family = &candidate;
  }
  if (family) {
    if (sdi->type == 0 || !std::strchr(family->members, sdi->type)) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDISetSensorType didn't get a valid %s Sensor type (%u)", family->name,
                 static_cast<uint32_t>(sdi->type));
      return kErrUnreadableAnswer;
    }
    type = sdi->type;
  } else if (type == 0 || type > kLargestTypeCode) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorType didn't get a valid sensor type (%u)", type);
    return kErrBadArgument;
  }

  char command[16];
  if (sdi->numericType) {
    std::snprintf(command, sizeof command, "?X9 %u!", type);
  } else {
    std::snprintf(command, sizeof command, "?X9 %c!", static_cast<char>(type));
  }
  char answer[kSensorAnswerSize + 1];
  const int32_t got = SensorExchange(sdi, command, answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDISetSensorType received error %i",
               got);
    return got;
  }
  if (std::strstr(answer, "OK")) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorType successfully set sensor type to \"%u\"", type);
    return kResultOk;
  }
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
             "SDISetSensorType could not set sensor type to \"%u\"", type);
  return kErrUnreadableAnswer;
}
