// Whether a setting operation reads the instrument's value into the caller's, or writes the
// caller's value to the instrument.
#pragma once

#include <cstdint>

enum class SettingDirection : uint8_t { kRead = 0, kWrite = 1 };
