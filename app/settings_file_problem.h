// What went wrong with a settings file on this computer, in words a user can act on: the
// result texts of these codes speak of the port or of an instrument's answer, which would send
// the user looking in the wrong place.
#pragma once

#include <cstdint>
#include <string>

// Whether `code` is a failure of the file itself on this computer (missing, no permission, a
// folder, the disk full or read-only, not readable or writable), rather than of the instrument.
bool IsSettingsFileProblem(int32_t code);

// `path` is the settings file, `writing` whether it was being written (else read), `device` the
// instrument's name for a file that is not a settings file of it.
std::string SettingsFileProblem(int32_t code, const std::string& path, bool writing,
                                const std::string& device);
