// Pieces the sensor operations share; not part of the layer's interface.
#pragma once

#include <cstdint>

#include "sdi12/vexa_sdi12.h"

constexpr const char* kSdiTag = "VexaSDI12";

// SDISendCommand into `answer` (kSensorAnswerSize + 1 bytes).
int32_t SensorExchange(VexaSDI12* sdi, const char* command, char* answer);

// Sends a set command up to the sensor's tries until it is answered "OK". Returns 1 confirmed,
// kErrRefused (the last refusal was "ERROR"), kErrNoAttempt (never confirmed). *lastExchange gets
// the last exchange's result, so the caller can log and pass on a failure of the link.
int32_t ConfirmSetting(VexaSDI12* sdi, const char* command, int32_t* lastExchange);
