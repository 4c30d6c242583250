// The texts of the update's message boxes, composed from the window caption (CAPTION), the device
// name (DEVICE), the instrument met (FOUND), the port (PORT) and the result code (CODE). They are
// the program's own words, kept exactly: users and service staff know them.
#pragma once

#include <cstdint>
#include <string>

struct UpdateContext;

std::string LoaderFailureText(const UpdateContext& context, int32_t code);
// The first connection's failure (every box captioned "Connection Error").
std::string ConnectionFailureText(const UpdateContext& context, int32_t code);
// The restore's failure: one box, or two for a missing file (captioned "Settings Error").
std::string RestoreFailureText(const UpdateContext& context, int32_t code);
std::string MissingSettingsFileText(const UpdateContext& context);
// The question of a settings save that failed with a service switch on ("Settings Retrieve
// Error"): OK goes on without the settings.
std::string SettingsRetrieveQuestionText(const UpdateContext& context);
std::string EraseFailureText(const UpdateContext& context, int32_t code);
// The calibration notice after an update of a type that asks for one; false for other types.
bool CalibrationNotice(int type, std::string* caption, std::string* text);
// The "Don't Quit Now!" text shown when the user tries to leave during a run.
std::string DontQuitText(const std::string& caption, const std::string& device);
// The texts of a firmware file that could not be opened (captioned "File Error").
std::string FileErrorText(const std::string& caption, const std::string& fileName, int32_t code);

// The window's start-up texts: the data-erase warning, and the report of a loader context that
// could not be built (kErrOutOfMemory, kErrImageDamaged or another code), captioned "Application
// Launch Error".
std::string DataEraseWarningText(const std::string& caption, const std::string& device);
std::string LaunchErrorText(const std::string& caption, int32_t code);
// Whether the product type warns at start-up that an update erases the stored data.
bool WarnsOfDataErase(int type);

// The Help box's text and the About box's (`engineVersion`: the program's own version).
// `digitalSensor`: step 1 asks for the FieldPal and the sensor.
std::string HelpText(const std::string& caption, const std::string& device, int productType,
                     bool digitalSensor = false);
std::string AboutText(const std::string& engineVersion);

// A version number as the boxes write it: 205 is "2.05".
std::string VersionText(uint32_t version);
