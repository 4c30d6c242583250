// The product this build of the updater is made for, and where it keeps its files. Plain C++ so
// that the window and the command-line tool share it.
#pragma once

#include <cstdint>
#include <string>

namespace product {

constexpr const char* kDeviceName = "FieldPal";
constexpr int kCatalogueType = 14;
constexpr int32_t kImageVersion = 200;  // 2.00, the built-in image
constexpr char kHardwareRevision = 'C';
constexpr const char* kCaption = "FieldPal Firmware Updater";
// The maker's version file for this product (the reader of hardware revision C).
constexpr const char* kVersionDocument = "/versionfinder/FieldPal-C-Firmware.txt";
// The maker's contact block of the Help box, one item a line, and the About box's maker line.
constexpr const char* kContactBlock =
    "Norvane Devices, Inc.\n"
    "KALTO Group\n"
    "Telephone and fax: see norvane.example/contact\n"
    "E-mail: support@norvane.example\n"
    "Web: https://www.norvane.example\n";
constexpr const char* kMakerLine = "Norvane Devices, Inc., a KALTO Group company";
// The maker's literature page, named in the Leaf Stomatrix calibration notice.
constexpr const char* kLiteraturePage = "https://www.norvane.example/literature";

}  // namespace product

struct BuiltinImage;  // loader/builtin_image.h

// One product configuration, fixed when a program is built: each program (the FieldPal updater,
// the sensor updater, a command of the command-line tool) picks its record and hands it to the
// window or the update context. Nothing else differs between the programs.
struct Product {
  // The name the window and the boxes use; empty for the sensor updater, whose name follows
  // the chosen sensor type.
  const char* deviceName;
  int catalogueType;      // what the built-in image is for
  int32_t imageVersion;   // of the built-in image
  char hardwareRevision;  // the only revision the image runs on (0: not checked)
  const char* versionDocument;
  bool digitalSensor;         // updates a digital sensor through a reader (update_sensor.cpp)
  uint32_t sensorType;        // the sensor type chosen at start
  const char* readerName;     // "Connect to " + this + " with Comm Port"
  const char* connectName;    // "Connect " + this + " to computer comm port."
  const BuiltinImage* image;  // null: the FieldPal's
};

// The FieldPal updater, and the digital-sensor updater (the sensor behind a FieldPal).
extern const Product kFieldPalProduct;
extern const Product kSensorProduct;

// The device name the product starts with: its own, or the chosen sensor type's name.
std::string ProductDeviceName(const Product& product);
// device name + " Firmware Updater"
std::string ProductCaption(const Product& product);
// The version text of the image the product carries ("QRN 2.00 C" for the FieldPal): what the
// window's version label shows at start, and the version the feedback post gives for the program.
std::string ProductVersionText(const Product& product);

// The user's data folder for the updater ($XDG_DATA_HOME/Norvane/VexaBSL, by default
// ~/.local/share/Norvane/VexaBSL), created when missing. When it cannot be made, a folder of the
// user's own in the runtime or temporary folder (data_folder.h says why).
std::string DataFolder();

// The product's error file in `dataFolder`: folder + "/" + caption + ".errors.txt" (the name
// alone, in the working folder, when no folder is given).
std::string ErrorFilePath(const std::string& dataFolder, const Product& product);
// The FieldPal updater's error file in the user's data folder.
std::string ErrorFilePath();
