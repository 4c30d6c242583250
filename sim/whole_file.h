// Files the simulator leaves behind are written whole or not at all: through a temporary file
// renamed over the target, so that a reader (a test, the next run) never sees half of one.
#pragma once

#include <string>

bool WriteWholeFile(const std::string& path, const std::string& text, std::string* error);
