// The serial number, and saving and restoring everything the sensor keeps across new firmware.
#include <cstdio>
#include <cstring>

#include "sdi12/sensor_exchange.h"
#include "sdi12/vexa_sdi12.h"

namespace {

constexpr uint32_t kSerialCommandSize = 64;  // "?X#" + serial number + "!" and the terminator

bool IsOldCalibrationType(const VexaSDI12* sdi) {
  return (sdi->type == 'u' || sdi->type == 't') && sdi->version < 340;
}

}  // namespace

int32_t ConfirmSetting(VexaSDI12* sdi, const char* command, int32_t* lastExchange) {
  int32_t result = 0;
  *lastExchange = 0;
  const uint32_t tries = sdi->tries ? sdi->tries : 1;
  for (uint32_t attempt = 0; attempt < tries; ++attempt) {
    char answer[kSensorAnswerSize + 1];
    *lastExchange = SensorExchange(sdi, command, answer);
    if (*lastExchange > 0) {
      if (std::strstr(answer, "OK")) return kResultOk;
      if (std::strstr(answer, "ERROR")) result = kErrRefused;
    }
    if (result == 0) result = kErrNoAttempt;
  }
  return result;
}

int32_t SDIGetSensorSN(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  char answer[kSensorAnswerSize + 1];
  const int32_t got = SensorExchange(sdi, "?X#!", answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIGetSensorSN received error %i looking for X#", got);
    return got;
  }
  if (answer[1] == '\r' || answer[1] == 0) return 0;  // the address alone: no serial number
  SensorAnswerText(answer, sdi->serialNumber, kSensorSerialLength);
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDIGetSensorSN found SN \"%s\"",
             sdi->serialNumber);
  return kResultOk;
}

int32_t SDISetSensorSN(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  if (sdi->serialNumber[0] == 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorSN didn't find a valid serial number");
    return 0;
  }
  char command[kSerialCommandSize];
  std::snprintf(command, sizeof command, "?X#%s!", sdi->serialNumber);
  int32_t lastExchange = 0;
  int32_t result = ConfirmSetting(sdi, command, &lastExchange);
  if (result == kResultOk) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorSN successfully set sensor serial number to \"%s\"", sdi->serialNumber);
  } else if (lastExchange < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorSN received error %i setting serial number.", lastExchange);
    result = lastExchange;
  }
  return result;
}

int32_t SDISaveSensor(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  sdi->info[0] = 0;
  sdi->x4[0] = 0;
  sdi->xa[0] = 0;
  sdi->xo[0] = 0;
  sdi->xoPresent = false;
  sdi->serialNumber[0] = 0;
  sdi->version = 0;
  sdi->address = '0';
  sdi->type = 0;
  sdi->numericType = false;

  const int32_t version = SDIGetSensorVersion(sdi);
  if (version < 0) return version;
  SDIGetSensorType(sdi);
  SDIGetSensorSN(sdi);
  const int32_t calibration = SDIGetSensorCalibration(sdi);
  if (calibration < 0) return calibration;
  if (IsOldCalibrationType(sdi)) ConvertOldCalibration(sdi);
  return kResultOk;
}

int32_t SDIRestoreSensor(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  SDISetSensorSN(sdi);
  const int32_t address = SDISetSensorAddress(sdi, sdi->address);
  const int32_t calibration = SDISetSensorCalibration(sdi, nullptr);
  if (calibration < 0) return calibration;
  if (address < 0) return address;
  return kResultOk;
}
