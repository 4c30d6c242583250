// Where the maker's version service keeps the version file of each product: by the instrument's
// catalogue type, and by a digital sensor's type (or sensor family). The files are columns of the
// catalogue's tables; these are the version check's names for them. No I/O.
#pragma once

#include <string>

namespace net {

// The path for a catalogue type; empty for the types without one (0, 5, 10, 13, 21) and for
// unknown types.
std::string VersionFinderPath(int catalogue_type);

// The path for a digital sensor type or sensor family (260 to 264): its own, or its family's
// where the family's members go by it; empty when there is none.
std::string SensorVersionFinderPath(int sensor_type);

}  // namespace net
