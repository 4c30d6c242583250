#include "link/result.h"

#include <cerrno>

namespace {

// One row per number. A number with several names has one meaning that covers them all.
constexpr ResultMeaning kMeanings[] = {
    {kErrNoCapability, "the instrument cannot do this, or the loader refused a frame"},
    {kErrPortMissing, "the port is not present"},
    {kErrPortBusy, "port in use by another application"},
    {kErrNoPortName, "no port name"},
    {kErrMissingArgument, "a required argument is missing"},
    {kErrBadArgument, "bad argument"},
    {kErrTraitNotWritable, "the instrument will not take this value"},
    {kErrPermission, "no permission to open the port, or not available for this instrument type"},
    {kErrNothingListening, "nothing is listening on the port"},
    {kErrNoAnswer, "no answer from the instrument"},
    {kErrNoAttempt, "the last try got no answer"},
    {kErrModemNotConfigured, "the radio modem could not be configured"},
    {kErrLoginFailed, "login failed"},
    {kErrUnreadableAnswer, "the answer could not be understood"},
    {kErrBarePrompt, "the instrument answered with its prompt only"},
    {kErrEchoed, "the command came back echoed"},
    {kErrRelayEchoes, "a relay between the computer and the instrument echoes commands"},
    {kErrRefused, "the instrument refused the command"},
    {kErrPartlyDone, "some settings could not be saved or restored"},
    {kErrNameOnlyPrompt, "the instrument has no name (uninitialised)"},
    {kErrIdentityChanged, "another instrument than the one connected"},
    {kErrCancelled, "cancelled"},
    {kErrNoRadio, "the instrument has no radio"},
    {kErrNameBlank, "the instrument name contains a blank or a control character"},
    {kErrNameForbidden, "the instrument name contains forbidden punctuation"},
    {kErrNameReserved, "the instrument name is a command word"},
    {kErrNameMissing, "no instrument name"},
    {kErrNameTooLong, "the instrument name is longer than 8 characters"},
    {kErrNameNotAscii, "the instrument name contains characters beyond ASCII"},
    {kErrOutOfMemory, "out of memory"},
    {kErrDataMemoryBroken, "the instrument's data memory is broken"},
    {kErrFirmwareCorrupt, "the new firmware is corrupt"},
    {kErrLoaderRunning, "the bootstrap loader is already running"},
    {kErrLoaderWaiting, "the bootstrap loader is waiting for a connection"},
    {kErrSensorHasNoLoader, "the sensor has no bootstrap loader"},
    {kErrNotTiText, "not a TI-Text file"},
    {kErrImageDamaged, "the built-in firmware image is damaged"},
    {kErrImageOutsideMemory, "the firmware file holds code outside the instrument's flash"},
    {kErrImageOverlaps, "the firmware file writes some bytes twice (overlapping sections)"},
    {kErrImageNoCode, "the firmware file holds no code"},
    {kErrImageNoResetVector, "the firmware file sets no reset vector"},
    {kErrSettingsFileMissing, "the settings file is missing"},
    {kErrSettingsFileDenied, "no permission to open the settings file"},
    {kErrSettingsFileBadHandle, "the settings file could not be opened"},
    {kErrLoaderHandshake, "the loader handshake failed"},
    {kErrNoLoader, "no working bootstrap loader"},
    {kErrNotSupported, "not supported by this updater"},
    {kErrWrongDevice, "wrong device"},
    {kErrBatteryLow, "battery too low"},
    {kErrNotSerialPort, "not a serial port"},
    {kErrPortNoResponse, "the device did not respond to opening"},
    {kErrPortSettingsRefused, "the port refused the line settings"},
    {kErrPortOpenFailed, "the port could not be opened"},
    {kErrFileMissing, "no such file or folder"},
    {kErrFileDenied, "no permission to use the file"},
    {kErrIsFolder, "a folder, not a file"},
    {kErrDiskFull, "the disk is full"},
    {kErrFileReadFailed, "the file could not be read"},
    {kErrFileWriteFailed, "the file could not be written"},
    {kErrDiskReadOnly, "the disk is read-only"},
    {kErrDataFolderBusy, "another update is using the files in the data folder"},
    {kErrFileIsLink, "a file in the data folder is a symbolic link"},
    {kErrFeedbackFailed, "the feedback could not be sent"},
    {kErrVersionService, "the version check service could not be reached"},
    {kErrVersionUnreadable, "the version check service's answer could not be read"},
};

// Every number has one row: a second row would never be found.
constexpr bool EachCodeOnce() {
  for (const ResultMeaning& a : kMeanings) {
    int rows = 0;
    for (const ResultMeaning& b : kMeanings) rows += a.code == b.code;
    if (rows != 1 || a.code >= 0) return false;
  }
  return true;
}
static_assert(EachCodeOnce());

}  // namespace

const char* ResultText(int32_t code) {
  if (code > 0) return "success";
  if (code == 0) return "nothing done";
  for (const ResultMeaning& row : kMeanings) {
    if (row.code == code) return row.meaning;
  }
  return "unknown error";
}

int32_t FileErrorCode(int error, int32_t otherwise) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrFileMissing;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrFileDenied;
    case EISDIR:
      return kErrIsFolder;
    case ENOSPC:
    case EDQUOT:
      return kErrDiskFull;
    case ENOMEM:
      return kErrOutOfMemory;
    default:
      return otherwise;
  }
}

int32_t FileWriteErrorCode(int error) {
  return error == EROFS ? kErrDiskReadOnly : FileErrorCode(error, kErrFileWriteFailed);
}

bool IsFileWriteFailure(int32_t code) {
  switch (code) {
    case kErrSettingsFileDenied:
    case kErrFileMissing:
    case kErrFileDenied:
    case kErrIsFolder:
    case kErrDiskFull:
    case kErrFileWriteFailed:
    case kErrDiskReadOnly:
      return true;
    default:
      return false;
  }
}
