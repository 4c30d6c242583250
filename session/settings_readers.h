// The family readers of the settings file; ReadInfoFile picks one by catalogue type. Not part of
// the layer's interface.
#pragma once

#include <cstdint>

#include "session/session_context.h"

int32_t ReadLoggerSettings(SessionContext* session, const char* text);
int32_t ReadSensorSettings(SessionContext* session, const char* text);
int32_t ReadLabSettings(SessionContext* session, const char* text);
