// Digital sensors behind the hand-held reader. The reader passes SDI-12 commands from the serial
// port to the one attached sensor and the sensor's answers back; VexaSDI12 reads the sensor's
// address, identity, type, serial number and calibration strings before its firmware is replaced
// and writes them back afterwards.
//
// Every command uses the query address "?", so it reaches whichever single sensor is attached,
// and ends in "!". An answer begins with the sensor's address and ends in CR LF. Before a command
// the reader gets a "|" (a break on the sensor bus) that wakes the sensor; a command that goes
// unanswered is followed by a recovery (three breaks and "?!") before it is tried again.
//
//   VexaSDI12 sdi(&log, &device);   // the reader is connected and relaying ("[" written)
//   SDISaveSensor(&sdi);            // ... the sensor's firmware is replaced ...
//   SDIRestoreSensor(&sdi);
#pragma once

#include <cstdint>

#include "instrument/device_context.h"
#include "link/log.h"

constexpr uint32_t kSensorAnswerSize = 256;   // one answer; the buffer holds a terminator more
constexpr uint32_t kSensorInfoLength = 36;    // identification text after address and version
constexpr uint32_t kSensorSerialLength = 32;  // serial number
constexpr uint32_t kCalibrationSize = 512;    // a calibration string and its terminator
constexpr uint32_t kSensorTimeoutMs = 2000;   // wait for an answer's carriage return
constexpr uint32_t kSensorTries = 5;          // attempts per exchange

// Family requests for SDISetSensorType: re-apply the present type when it belongs to the family.
namespace sensor_family {
constexpr uint32_t kLrn = 260;
constexpr uint32_t kWtp = 261;
constexpr uint32_t kKvl = 262;
constexpr uint32_t kBhx = 263;
constexpr uint32_t kTorva1x = 264;
}  // namespace sensor_family

class VexaSDI12 {
 public:
  // `device` is the reader's context; its port must be open when an operation runs.
  VexaSDI12(VexaLog* log, DeviceContext* device);
  VexaSDI12(const VexaSDI12&) = delete;
  VexaSDI12& operator=(const VexaSDI12&) = delete;

  VexaLog* log = nullptr;
  DeviceContext* device = nullptr;

  // What SDISaveSensor read and SDIRestoreSensor writes back.
  char address = '0';
  char info[kSensorInfoLength + 1] = {};  // vendor, model, version and the rest of "?I!"
  uint32_t version = 0;                   // sensor firmware version, 340 for 3.40
  uint8_t type = 0;                       // type code: a letter's character value, or a number
  bool numericType = false;               // the sensor reported its type as digits
  char serialNumber[kSensorSerialLength + 1] = {};
  char x4[kCalibrationSize] = {};  // main calibration
  char xa[kCalibrationSize] = {};  // secondary calibration (written back as Xb)
  char xo[kCalibrationSize] = {};  // offset calibration (type ']')
  bool xoPresent = false;

  char answer[kSensorAnswerSize + 1] = {};  // the last answer received
  uint32_t timeoutMs = kSensorTimeoutMs;
  uint32_t tries = kSensorTries;
};

// One exchange: "|" (unless a recovery just answered), the command, and the answer up to its
// carriage return, retried with the recovery sequence in between. `buffer` receives at most
// *size - 1 characters, terminated; *size is then the length stored. Returns the answer's length
// (> 0); kErrNoAnswer when not even the recovery is answered; kErrNoAttempt when the command
// stays unanswered; or the serial link's code. After a failure the buffer is empty and *size 0.
int32_t SDISendCommand(VexaSDI12* sdi, const char* command, char* buffer, uint32_t* size,
                       uint32_t* elapsedMs);

// "?I!": fills address, info and version. Returns the version, or a failure.
int32_t SDIGetSensorVersion(VexaSDI12* sdi);

// Moves the sensor to `address`. 1, kErrUnreadableAnswer when the sensor answers with another
// address.
int32_t SDISetSensorAddress(VexaSDI12* sdi, char address);

// "?X8!", or the identification text when the sensor cannot tell. 1, -1 no type found.
int32_t SDIGetSensorType(VexaSDI12* sdi);

// Sets a type, or re-applies the present one for a family request (260 to 264). 1;
// kErrBadArgument for 0, 255 or a number no type code can hold; kErrUnreadableAnswer when
// refused or not of the family.
int32_t SDISetSensorType(VexaSDI12* sdi, uint32_t requested);

// "?X#!". 1; 0 when the sensor has no serial number.
int32_t SDIGetSensorSN(VexaSDI12* sdi);

// Writes the saved serial number. 1; 0 when there is none; kErrRefused; kErrNoAttempt (never
// confirmed).
int32_t SDISetSensorSN(VexaSDI12* sdi);

// Reads X4, and by type Xa (with the defaults of older firmware) and XO. 1; 0 for type '^'.
int32_t SDIGetSensorCalibration(VexaSDI12* sdi);

// Writes `x5` (null: the saved X4) as X5, and by type Xa as Xb and XO. 1; 0 nothing set;
// kErrRefused; kErrNoAttempt (never confirmed); or the exchange's failure.
int32_t SDISetSensorCalibration(VexaSDI12* sdi, const char* x5);

// Types 'u' and 't' below version 340 keep X4 as nine numbers; newer firmware takes six.
void ConvertOldCalibration(VexaSDI12* sdi);

// "?B!" and, unless the sensor has no loader, the reader's loader relay ("]") and the loader's
// wake-up "P". 1; kErrSensorHasNoLoader (the sensor answered "No BSL").
int32_t SDIInvokeVexaBSL(VexaSDI12* sdi);

// "?post!": the new firmware's self-test. 1 "Code Good", kErrFirmwareCorrupt ("Code Corrupt"),
// -1 another answer, or the exchange's failure.
int32_t SDICheckBinary(VexaSDI12* sdi);

// Reads everything SDIRestoreSensor writes back. 1, or the first fatal failure.
int32_t SDISaveSensor(VexaSDI12* sdi);

// Writes back serial number, address and calibration. 1, or the calibration's failure, or the
// address's.
int32_t SDIRestoreSensor(VexaSDI12* sdi);

// The text of an answer: after the address, one leading space skipped, up to the carriage
// return; at most `capacity` characters into `text` (capacity + 1 bytes).
void SensorAnswerText(const char* answer, char* text, uint32_t capacity);
