#include "app/product.h"

#include "app/data_folder.h"
#include "loader/builtin_image.h"
#include "session/catalogue.h"
#include "session/session_context.h"

const Product kFieldPalProduct = {product::kDeviceName,
                                  product::kCatalogueType,
                                  product::kImageVersion,
                                  product::kHardwareRevision,
                                  product::kVersionDocument,
                                  false,
                                  0,
                                  product::kDeviceName,
                                  product::kDeviceName,
                                  &kFieldPalImage};

// The sensor's image is the maker's "AERIX14" firmware (sensor type 123, the AERIX 14).
const Product kSensorProduct = {"",
                                kDigitalSensorType,
                                400,
                                0,
                                "/versionfinder/AERIX14-Firmware.txt",
                                true,
                                123,
                                "FieldPal",
                                "FieldPal and Digital Sensor",
                                &kSensorImage};

std::string ProductDeviceName(const Product& p) {
  if (p.deviceName && *p.deviceName) return p.deviceName;
  char name[kSensorNameSize];
  return SensorTypeName(p.sensorType, name);
}

std::string ProductCaption(const Product& p) {
  return ProductDeviceName(p) + " Firmware Updater";
}

std::string ProductVersionText(const Product& p) {
  return (p.image ? p.image : &kFieldPalImage)->name;
}

std::string DataFolder() {
  return ChooseDataFolder().path;
}

std::string ErrorFilePath(const std::string& dataFolder, const Product& p) {
  const std::string name = ProductCaption(p) + ".errors.txt";
  return dataFolder.empty() ? name : dataFolder + "/" + name;
}

std::string ErrorFilePath() {
  return ErrorFilePath(DataFolder(), kFieldPalProduct);
}
