#include "net/version_paths.h"

#include <initializer_list>
#include <utility>

namespace net {
namespace {

struct PathRow {
  std::initializer_list<int> types;
  const char* path;
};

const PathRow kByCatalogueType[] = {
    {{1}, "/versionfinder/Qd4-Firmware.html"},
    {{2}, "/versionfinder/Qd4b-Firmware.html"},
    {{3}, "/versionfinder/Qd40-Firmware.html"},
    {{4}, "/versionfinder/LinkDepot-Firmware.html"},
    {{6}, "/versionfinder/HLite-Firmware.txt"},
    {{7}, "/versionfinder/tk8pro-firmware.html"},
    {{8}, "/versionfinder/CR60Firmware.txt"},
    {{9}, "/versionfinder/leafstomatrix-firmware.html"},
    {{11}, "/versionfinder/IXIG-Firmware.txt"},
    {{12}, "/versionfinder/HLS3-Firmware.txt"},
    {{14}, "/versionfinder/FieldPal-Firmware.html"},
    {{15}, "/versionfinder/HydrellaSeries4.txt"},
    {{16}, "/versionfinder/SRBFirmware.txt"},
    {{17}, "/versionfinder/PX3C-Firmware.txt"},
    {{18}, "/versionfinder/rQ7-Firmware.html"},
    {{19}, "/versionfinder/ZRT2-Firmware.html"},
    {{20}, "/versionfinder/Pre-Firmware.txt"},
    {{22}, "/versionfinder/HS4TDL-Firmware.txt"},
    {{23}, "/versionfinder/QHI-Firmware.txt"},
    {{24}, "/versionfinder/ServoPump-Firmware.txt"},
};

const PathRow kBySensorType[] = {
    {{92}, "/versionfinder/AERIX22-Firmware.txt"},
    {{93}, "/versionfinder/AERIX41-Firmware.txt"},
    {{94}, "/versionfinder/GAU1-Firmware.txt"},
    {{95}, "/versionfinder/WN2-Firmware.txt"},
    {{101, 105, 106, 116, 262}, "/versionfinder/KVL-Firmware.txt"},
    {{102}, "/versionfinder/BH4-Firmware.txt"},
    {{103, 104, 264}, "/versionfinder/TORVA1X-Firmware.txt"},
    {{107, 108, 121, 261}, "/versionfinder/WTP3-Firmware.txt"},
    {{109, 113}, "/versionfinder/PX2-Firmware.txt"},
    {{112}, "/versionfinder/BH3-Firmware.txt"},
    {{117}, "/versionfinder/Z4DG-Firmware.txt"},
    {{118}, "/versionfinder/JN4-Firmware.txt"},
    {{119}, "/versionfinder/HR4-Firmware.txt"},
    {{120}, "/versionfinder/7QB-Firmware.txt"},
    {{122}, "/versionfinder/7QA-Firmware.txt"},
    {{123}, "/versionfinder/AERIX14-Firmware.txt"},
    {{260}, "/versionfinder/LRN-Firmware.txt"},
};

template <typename Table>
std::string Find(const Table& table, int type) {
  for (const PathRow& row : table) {
    for (int t : row.types) {
      if (t == type) return row.path;
    }
  }
  return {};
}

}  // namespace

std::string VersionFinderPath(int catalogue_type) {
  return Find(kByCatalogueType, catalogue_type);
}

std::string SensorVersionFinderPath(int sensor_type) {
  return Find(kBySensorType, sensor_type);
}

}  // namespace net
