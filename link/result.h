// Result codes, the one list for every layer. Every operation returns a signed 32-bit result:
// 1 (or a positive count or version) for success, 0 for "nothing done" or a time-out where an
// operation says so, and a negative code for a failure, passed upward unchanged until a front end
// shows it. Each code has a name here and a short meaning (ResultText) for the error file, the
// command line's "[Error N]" lines and the window's log.
//
// A few numbers mean different things in different layers; the instruments' protocols and the
// update sequence fixed them long ago. Each meaning keeps its own name, written as an alias of
// the number so that the sharing is visible where it is declared, and the aliases are checked
// below at compile time.
//
// System errors (errno) never pass upward as they are: on Linux their numbers collide with this
// list (EIO is 5, "port in use"; ENOTTY is 25, "login failed"; EISDIR is 21, "no answer"). The
// serial link maps open errors with PortOpenResult (link/serial_port.h), and files with
// FileErrorCode below.
#pragma once

#include <cstdint>

constexpr int32_t kResultOk = 1;
constexpr int32_t kResultNothingDone = 0;

// -1: an instrument or loader that cannot or will not do it.
constexpr int32_t kErrNoCapability = -1;                    // the instrument lacks the capability
constexpr int32_t kErrCannotChangeBaud = kErrNoCapability;  // it cannot change its baud rate
constexpr int32_t kErrNothingDone = kErrNoCapability;  // nothing of a settings write was possible
constexpr int32_t kErrLoaderRejected = kErrNoCapability;  // the loader answered "-" or "?"
constexpr int32_t kErrCodeCorrupt = kErrNoCapability;  // the firmware's self-test: "Code Corrupt!"

// The serial port.
constexpr int32_t kErrPortMissing = -2;  // no such port
constexpr int32_t kErrPortBusy = -5;     // another program holds the port
constexpr int32_t kErrNoPortName = -6;

constexpr int32_t kErrMissingArgument = -10;
constexpr int32_t kErrBadArgument = -11;

// -12: the instrument will not take a value.
constexpr int32_t kErrTraitNotWritable = -12;                      // the trait cannot be written
constexpr int32_t kErrRadioWriteOverRadio = kErrTraitNotWritable;  // radio values over the radio
constexpr int32_t kErrSerialRefused = kErrTraitNotWritable;        // a serial number was refused

// -13: the port's permission (from the system's EACCES), or an operation of another type.
constexpr int32_t kErrPermission = -13;                 // the user may not open the port
constexpr int32_t kErrNotForThisType = kErrPermission;  // not available for this instrument type

// The connection and the command transaction.
constexpr int32_t kErrNothingListening = -20;
constexpr int32_t kErrNoAnswer = -21;  // also every read or write on a closed or failed port
constexpr int32_t kErrNoAttempt = -22;
constexpr int32_t kErrLastTrySilent = kErrNoAttempt;  // the last try heard nothing, others did
constexpr int32_t kErrModemNotConfigured = -23;       // the radio modem took no AT command mode
constexpr int32_t kErrModemCommandMode = kErrModemNotConfigured;
constexpr int32_t kErrLoginFailed = -25;
constexpr int32_t kErrUnreadableAnswer = -30;
constexpr int32_t kErrBarePrompt = -31;   // only the prompt "\r\r>" came back
constexpr int32_t kErrEchoed = -32;       // the command came back: something echoes
constexpr int32_t kErrRelayEchoes = -33;  // a relay between computer and instrument echoes
constexpr int32_t kErrRefused = -34;      // "ERROR", "?" or "Unsupported"
constexpr int32_t kErrPartlyDone = -35;   // some settings were done, others failed

// -36: an instrument without a name.
constexpr int32_t kErrNameOnlyPrompt = -36;                // "get -i" answered with the bare prompt
constexpr int32_t kErrUninitialised = kErrNameOnlyPrompt;  // so it has nothing to save

constexpr int32_t kErrIdentityChanged = -37;  // another instrument than the one connected
constexpr int32_t kErrCancelled = -40;
constexpr int32_t kErrNoRadio = -45;  // "No Radio", or a radio version beginning "00"

// Instrument names (CheckDeviceName).
constexpr int32_t kErrNameBlank = -50;      // a blank or a control character
constexpr int32_t kErrNameForbidden = -51;  // punctuation the command line takes apart
constexpr int32_t kErrNameReserved = -52;   // a command word
constexpr int32_t kErrNameMissing = -53;    // missing or empty
constexpr int32_t kErrNameTooLong = -54;    // longer than 8 characters
constexpr int32_t kErrNameNotAscii = -56;   // a character beyond ASCII

constexpr int32_t kErrOutOfMemory = -60;
constexpr int32_t kErrDataMemoryBroken = -65;
constexpr int32_t kErrFirmwareCorrupt = -66;  // the new firmware's self-test says "Code Corrupt"

// The bootstrap loader.
constexpr int32_t kErrLoaderRunning = -80;
constexpr int32_t kErrLoaderWaiting = -81;
constexpr int32_t kErrSensorHasNoLoader = -82;  // the digital sensor answered "No BSL"

// Files: firmware files and the settings file.
constexpr int32_t kErrNotTiText = -100;
constexpr int32_t kErrImageDamaged = -101;
// A firmware file that does not fit the instrument it is for (refused before anything is erased).
constexpr int32_t kErrImageOutsideMemory = -103;  // code outside the flash the loader writes
constexpr int32_t kErrImageOverlaps = -104;       // two sections write the same bytes
constexpr int32_t kErrImageNoCode = -107;         // vectors only, no code
constexpr int32_t kErrImageNoResetVector = -108;  // the reset vector is unset
// The settings file cannot be opened: no such file, no permission, a bad descriptor.
constexpr int32_t kErrSettingsFileMissing = -102;
constexpr int32_t kErrSettingsFileDenied = -105;
constexpr int32_t kErrSettingsFileBadHandle = -106;

constexpr int32_t kErrLoaderHandshake = -110;
constexpr int32_t kErrNoLoader = -112;
constexpr int32_t kErrNotSupported = -120;
constexpr int32_t kErrWrongDevice = -121;
constexpr int32_t kErrBatteryLow = -130;

// Opening a serial port, for the system errors that have no code above.
constexpr int32_t kErrNotSerialPort = -140;        // a file, a folder or another device
constexpr int32_t kErrPortNoResponse = -141;       // the device failed while opening (EIO)
constexpr int32_t kErrPortSettingsRefused = -142;  // the driver refused the rate or framing
constexpr int32_t kErrPortOpenFailed = -143;       // any other failure to open or set up

// Files, for the system errors that have no code above.
constexpr int32_t kErrFileMissing = -150;      // no such file or folder
constexpr int32_t kErrFileDenied = -151;       // no permission, or a read-only disk
constexpr int32_t kErrIsFolder = -152;         // a folder where a file was expected
constexpr int32_t kErrDiskFull = -153;         // no space (or quota) left
constexpr int32_t kErrFileReadFailed = -154;   // the file could not be opened or read
constexpr int32_t kErrFileWriteFailed = -155;  // the file could not be created or written
constexpr int32_t kErrDiskReadOnly = -156;     // the disk takes no writes (FileWriteErrorCode)

// The data folder: the files an update depends on to get the settings back after a broken run.
constexpr int32_t kErrDataFolderBusy = -157;  // another update owns the folder's files now
constexpr int32_t kErrFileIsLink = -158;      // one of them is a symbolic link, not a file

// The internet services.
constexpr int32_t kErrFeedbackFailed = -1000;     // the feedback could not be sent
constexpr int32_t kErrVersionService = -1001;     // the version service could not be reached
constexpr int32_t kErrVersionUnreadable = -1002;  // its answer could not be read

// The numbers that carry two or more meanings, as the protocols fixed them.
static_assert(kErrCannotChangeBaud == -1 && kErrNothingDone == -1 && kErrLoaderRejected == -1 &&
              kErrCodeCorrupt == -1);
static_assert(kErrRadioWriteOverRadio == -12 && kErrSerialRefused == -12);
static_assert(kErrNotForThisType == -13);
static_assert(kErrLastTrySilent == -22);
static_assert(kErrModemCommandMode == -23);
static_assert(kErrUninitialised == -36);

// One row of the list: a code and what it means, in words a user can act on.
struct ResultMeaning {
  int32_t code;
  const char* meaning;
};

// The meaning of `code` for a log line or the command line: "no answer from the instrument".
// A success or zero says so; an unknown code is "unknown error".
const char* ResultText(int32_t code);

// The code for a system error (errno) met opening, reading or writing a file: a missing file or
// folder, no permission, a folder given as a file, a full disk, no memory; any other error
// becomes `otherwise` (kErrFileReadFailed or kErrFileWriteFailed).
int32_t FileErrorCode(int error, int32_t otherwise);

// The same for a file being written, where a read-only disk has its own code: the user must
// choose another folder, not ask for permission. Other errors become kErrFileWriteFailed.
int32_t FileWriteErrorCode(int error);

// Whether `code` says a file could not be created or written (no permission, no folder, a folder,
// a full or read-only disk, another write failure), as opposed to a failure of an instrument.
bool IsFileWriteFailure(int32_t code);
