// Before a restore from a settings file writes anything: the file's values that the settings
// read from it do not hold as the file has them. The instrument's items have fixed room (a name
// 8 characters, a calibration 256), and the reader stops at a NUL byte, so such a value would be
// written cut, or not at all, without a word.
#pragma once

#include <string>
#include <vector>

#include "session/session_context.h"

// `text` is the whole file, byte for byte; `session` holds what was read from it. One line per
// value that is not held whole, "key: what would be lost", in file order; empty when none.
std::vector<std::string> ValuesNotHeldWhole(SessionContext* session, const std::string& text);
