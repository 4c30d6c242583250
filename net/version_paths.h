// Where the maker's version service keeps the version file of each product: by the instrument's
// catalogue type, and by a digital sensor's type (or sensor family). Pure tables, no I/O.
#pragma once

#include <string>

namespace net {

// The version file of the hand-held reader of hardware revision C, the one this updater carries;
// it replaces the catalogue's type 14 entry at start-up.
inline constexpr const char* kFieldPalRevisionCPath = "/versionfinder/FieldPal-C-Firmware.txt";

// The path for a catalogue type; empty for the types without one (0, 5, 10, 13, 21) and for
// unknown types.
std::string VersionFinderPath(int catalogue_type);

// The path for a digital sensor type or sensor family (260 to 264); empty when there is none.
std::string SensorVersionFinderPath(int sensor_type);

}  // namespace net
