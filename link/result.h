// Result codes that cross layers. Every operation returns a signed 32-bit result: 1 (or a positive
// count or version) for success, 0 for "nothing done" or a time-out where an operation says so,
// and a negative code for a failure, passed upward unchanged. Negated errno values pass through
// too; the serial link maps the open errors a user can act on to -2, -5 and -13.
#pragma once

#include <cstdint>

constexpr int32_t kResultOk = 1;

constexpr int32_t kErrPortMissing = -2;  // no such port
constexpr int32_t kErrPortBusy = -5;     // another program holds the port
constexpr int32_t kErrNoPortName = -6;
constexpr int32_t kErrPermission = -13;  // the user may not open the port
constexpr int32_t kErrMissingArgument = -10;
constexpr int32_t kErrBadArgument = -11;
constexpr int32_t kErrNotForThisType = -13;  // shares -13 with the permission error
constexpr int32_t kErrNothingListening = -20;
constexpr int32_t kErrNoAnswer = -21;
constexpr int32_t kErrNoAttempt = -22;
constexpr int32_t kErrModemNotConfigured = -23;  // the radio modem took no AT command mode
constexpr int32_t kErrLoginFailed = -25;
constexpr int32_t kErrUnreadableAnswer = -30;
// The command transaction's classes of answer, passed up by every layer that sends commands.
constexpr int32_t kErrBarePrompt = -31;   // only the prompt "\r\r>" came back
constexpr int32_t kErrEchoed = -32;       // the command came back: something echoes
constexpr int32_t kErrRelayEchoes = -33;  // a relay between computer and instrument echoes
constexpr int32_t kErrRefused = -34;      // "ERROR", "?" or "Unsupported"
constexpr int32_t kErrPartlyDone = -35;
constexpr int32_t kErrCancelled = -40;
constexpr int32_t kErrOutOfMemory = -60;
constexpr int32_t kErrDataMemoryBroken = -65;
constexpr int32_t kErrFirmwareCorrupt = -66;  // the new firmware's self-test says "Code Corrupt"
constexpr int32_t kErrLoaderRunning = -80;
constexpr int32_t kErrLoaderWaiting = -81;
constexpr int32_t kErrSensorHasNoLoader = -82;  // the digital sensor answered "No BSL"
constexpr int32_t kErrNotTiText = -100;
// The settings file cannot be opened: no such file, no permission, a bad descriptor.
constexpr int32_t kErrSettingsFileMissing = -102;
constexpr int32_t kErrSettingsFileDenied = -105;
constexpr int32_t kErrSettingsFileBadHandle = -106;
constexpr int32_t kErrImageDamaged = -101;
constexpr int32_t kErrLoaderHandshake = -110;
constexpr int32_t kErrNoLoader = -112;
constexpr int32_t kErrNotSupported = -120;
constexpr int32_t kErrWrongDevice = -121;
constexpr int32_t kErrBatteryLow = -130;
