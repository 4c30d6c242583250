#include "app/update_texts.h"

#include <cstdio>
#include <iterator>

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

std::string SettingsRetrieveQuestionText(const UpdateContext& c) {
  return "The " + c.caption + " could not retrieve the settings from your " + c.deviceName +
         ".\nThis can happen when an intrument is new or doesn't have " +
         "a serial number set yet.\n\nClick OK to continue loading new firmware." +
         "\nClick CANCEL to try retrieving the settings again.";
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
  const std::string again = "Please choose a new firmware file to open.";
  if (code == kErrImageOutsideMemory) {
    return "The file \"" + name + "\" does not fit the instrument it is for:\n" +
           "some of its code lies outside the flash memory the updater writes.\n" + again;
  }
  if (code == kErrImageOverlaps) {
    return "The file \"" + name + "\" is damaged:\n" +
           "two of its sections write the same memory.\n" + again;
  }
  if (code == kErrImageNoCode) {
    return "The file \"" + name + "\" holds no firmware code, only interrupt vectors.\n" + again;
  }
  if (code == kErrImageNoResetVector) {
    return "The file \"" + name + "\" sets no reset vector:\n" +
           "the instrument could not start this firmware.\n" + again;
  }
  if (code == kErrOutOfMemory) {
    return "The " + caption + " ran out of memory opening \"" + name + "\".\n" +
           "Please restart this application and try again.";
  }
  return "The " + caption + " could not opening \"" + name + "\".\n" + "Please try again.\nError " +
         std::to_string(code);
}

std::string DataEraseWarningText(const std::string& caption, const std::string& device) {
  return "WARNING: The " + caption + " will erase all measurement data\n stored in your " + device +
         ".\n\n Please download any data you want to save before continuing.";
}

std::string LaunchErrorText(const std::string& caption, int32_t code) {
  const std::string again = "Please restart this application and try again.";
  if (code == kErrOutOfMemory) {
    return "The " + caption + " ran out of memory while allocating internal buffers.\n\n" + again;
  }
  if (code == kErrImageDamaged) {
    return "The internal firware file for this " + caption + " is corrupt.\n\n" + again;
  }
  return "The " + caption + " got an unexpected error starting up.\n" +
         "[Error: " + std::to_string(code) + "]\n\n" + again;
}

bool WarnsOfDataErase(int type) {
  // A table of its own beside the catalogue's erase flag: it differs for types 1 and 2.
  static constexpr bool kWarns[] = {0, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0,
                                    0, 1, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0};
  return type >= 0 && type < static_cast<int>(std::size(kWarns)) && kWarns[type];
}

std::string HelpText(const std::string& caption, const std::string& device, int productType,
                     bool digitalSensor) {
  std::string text = "The " + caption + " replaces the firmware that operates your " + device +
                     ".\n" + "Following the simple steps will help ensure a successful update.\n\n";
  if (WarnsOfDataErase(productType)) {
    text += "WARNING: Updating the firmware in your " + device +
            " will erase any stored measurement data.\n" +
            "Please download any measurement data stored in your" + device +
            " that you want to save.\n\n";
  }
  text += "Before beginning these steps, please make sure your instrument is powered on.\n\n";
  if (digitalSensor) {
    text += "Step 1. Connect your FieldPal and " + device +
            " to an available serial communication port " + "\non your computer.\n\n";
  } else {
    text += "Step 1. Connect your " + device + " to an available serial communication port " +
            "on your computer.\n\n";
  }
  text += "Step 2. Select the correct serial port from the Comm Port control.\n\n";
  text += "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n";
  text += "WARNING: Do not disconnect your " + device +
          " from the computer while the updater is running.\n" +
          "An incomplete firmware update could leave your " + device + " unusable.\n\n";
  text += "WARNING: Do not quit the " + device +
          " Firmware Updater while the updater is running.\n" +
          "An incomplete firmware update could leave your " + device + " unusable.\n\n";
  text += "Step 4. Once the update is complete, you can disconnect your " + device +
          " from the computer.\n" + "Please verify your " + device + " configuration is correct. " +
          "Enjoy using the updated firmware version.\n\n";
  text += "If you have trouble with this " + device +
          " Firmware Updater, Please contact KALTO or\n" +
          "an authorized KALTO Group Distributor for help:\n\n";
  text += product::kContactBlock;
  return text;
}

std::string AboutText(const std::string& engineVersion) {
  return std::string("Firmware Updater for Linux\n\n") + "VexaBSL Engine version " +
         (engineVersion.empty() ? "Unknown" : engineVersion) + "\nCommunication Protocol version " +
         "1.8.4" + "\n\n" + product::kMakerLine;
}
