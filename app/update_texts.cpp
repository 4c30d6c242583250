#include "app/update_texts.h"

#include <cstdio>

#include "app/product.h"
#include "app/update_context.h"
#include "link/result.h"

std::string VersionText(uint32_t version) {
  char text[24];
  std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
  return text;
}

std::string LoaderFailureText(const UpdateContext& c, int32_t code) {
  return "The " + c.caption + " encountered an error working with your " + c.deviceName +
         ".\n\nPlease try again.\n\n[Error " + std::to_string(code) + "]";
}

std::string ConnectionFailureText(const UpdateContext& c, int32_t code) {
  const std::string& port = c.portDescription;
  const std::string unableToConnect = "The " + c.caption + " is unable to connect to your " +
                                      c.deviceName + "\n on Comm Port \"" + port +
                                      "\".\n\nPlease check your serial cable and Comm Port choice.";
  switch (code) {
    case kErrPortBusy:
      return "Comm Port \"" + port + "\" is already in use by another application.\n" +
             "Please choose a new Comm Port to use or quit the application using this port.";
    case kErrPortMissing:
      return "Comm Port \"" + port + "\" isn't available.\nPlease choose a new Comm Port to use.";
    case kErrNothingListening:
    case kErrNoAnswer:
      return unableToConnect;
    case kErrNotSupported:
      if (c.descriptor.version != 0 && c.descriptor.type != 0) {
        return "The " + c.caption + " does not support your " + c.descriptor.name + "\n" +
               "running version " + std::to_string(c.descriptor.version) + ".";
      }
      return "The " + c.caption + " is unable to connect to your unknown device" +
             "\n on Comm Port \"" + port +
             "\".\n\nPlease check your serial cable and Comm Port choice.\n\n" +
             "Please verify the device connected is a \"" + c.deviceName +
             "\" and has a version of\nfirmware that supports updates.";
    case kErrLoginFailed:
      return "The " + c.caption + " is unable to log into to your " + c.deviceName +
             "\n on Comm Port \"" + port +
             "\".\n\nPlease try again or contact your Norvane representative.";
    default:
      return unableToConnect + "\nError " + std::to_string(code);
  }
}

std::string MissingSettingsFileText(const UpdateContext& c) {
  return "The " + c.caption + " couldn't find the settings file for your " + c.deviceName +
         ".\n\nPlease try again or contact Norvane for help.";
}

std::string RestoreFailureText(const UpdateContext& c, int32_t code) {
  if (code == kErrSettingsFileDenied || code == kErrSettingsFileBadHandle) {
    return "The " + c.caption + " failed to read the settings file for your " + c.deviceName +
           ".\n\nPlease try again or contact Norvane for help." +
           "\n\nError: " + std::to_string(code);
  }
  if (code == kErrPartlyDone) {
    return "The " + c.caption + " failed to restore some of the settings for your " + c.deviceName +
           ".\n\nPlease check the settings after this updater is finished.";
  }
  return "The " + c.caption + " failed to restore the settings for your " + c.deviceName +
         ".\n\nPlease try again.\n\n[Error " + std::to_string(code) + "]";
}

std::string EraseFailureText(const UpdateContext& c, int32_t code) {
  if (code == kErrDataMemoryBroken) {
    return "The " + c.caption + " was unable to erase the data in your " + c.deviceName +
           "because the data storage chip is reporting errors.\n\nPlease contact Norvane for "
           "help.";
  }
  return "The " + c.caption + " was unable to erase the data in your " + c.deviceName +
         ".\nPlease try again.\n[Error: " + std::to_string(code) + "]";
}

bool CalibrationNotice(int type, std::string* caption, std::string* text) {
  switch (type) {
    case 7:
      *caption = "TK8 Pro Calibration";
      *text = std::string("The calibration of your TK8 Pro is outdated or missing.\n\n") +
              "Please contact Norvane or your authorized Norvane representative\n" +
              "to have your TK8 Pro calibrated.";
      return true;
    case 8:
      *caption = "Please Calibrate Your CR-60";
      *text =
          std::string("Updating the firmware in your LumaBar CR-60 requires you to calibrate\n") +
          "the internal sensors using the external sensor as a reference.\n\n" +
          "Please see your CR-60 user manual for probe calibration instructions.\n\n" +
          "Please also reset the Daylight Savings setting in your LumaBar CR-60.";
      return true;
    case 9:
      *caption = "Please Calibrate Your Stomatrix";
      *text =
          std::string("Updating the firmware in your Leaf Stomatrix requires you to calibrate\n") +
          "the the sensor head using the Norvane-supplied calibration plate.\n\n" +
          "Please see the Leaf Stomatrix user manual (version 7 or newer) for\n" +
          "calibration instructions. The latest user manual is available for download from:\n" +
          product::kLiteraturePage;
      return true;
    default:
      return false;
  }
}

std::string DontQuitText(const std::string& caption, const std::string& device) {
  return "The " + caption + " is updating your " + device +
         "!\nThis process should NOT be interrupted.\n\n" + "Your " + device +
         " may be unusable or have missing settings\n" +
         "until you complete the firmware update process.\n\n" +
         "Click OK to continue updating your" + device + ".\n";
}

std::string FileErrorText(const std::string& caption, const std::string& name, int32_t code) {
  if (code == kErrNotTiText) {
    return "The file \"" + name + "\" is not a valid firmware file.\n" +
           "Please choose a new firmware file to open.";
  }
  if (code == kErrOutOfMemory) {
    return "The " + caption + " ran out of memory opening \"" + name + "\".\n" +
           "Please restart this application and try again.";
  }
  return "The " + caption + " could not opening \"" + name + "\".\n" + "Please try again.\nError " +
         std::to_string(code);
}
