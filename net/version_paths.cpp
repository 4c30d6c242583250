#include "net/version_paths.h"

#include "session/catalogue.h"

namespace net {

std::string VersionFinderPath(int catalogue_type) {
  return CatalogueVersionFile(catalogue_type);
}

std::string SensorVersionFinderPath(int sensor_type) {
  if (sensor_type < 0) return {};
  return SensorVersionFile(static_cast<uint32_t>(sensor_type));
}

}  // namespace net
