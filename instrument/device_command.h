// The command transaction: every exchange with an instrument's command line goes through
// DeviceCommand. It sends one command, waits for the answer's final character, reads the answer,
// classifies it (good, refusal, echo, bare prompt, silence) and retries a refusal or a silence up
// to the context's tries.
//
// Answers end with the prompt, a carriage return and ">". A refusal contains "ERROR", "?" or
// "Unsupported"; the bare prompt "\r\r>" is the empty answer; an answer containing the command
// means a relay in the path echoes what the computer sends.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

// Sends `command` (terminated, ending in a carriage return), waits up to `timeoutMs` plus the
// options' extra wait for `terminator`, and reads the answer. `answer` (optional) receives at most
// *size - 1 bytes, terminated; *size (required) is then the length stored. Returns the number of
// answer bytes received (> 0), or kErrNoAnswer (every try silent), kErrLastTrySilent,
// kErrBarePrompt (the copy is made all the same), kErrEchoed, kErrRefused, kErrMissingArgument
// (no command or size), kErrOutOfMemory (no buffers), or the serial link's code. After a failure
// the answer is empty and *size 0.
int32_t DeviceCommand(DeviceContext* device, const char* command, char terminator,
                      uint32_t timeoutMs, char* answer, uint32_t* size, uint32_t* elapsedMs);

// Reads one value line: sends "<command>\r" and stores the answer's value line, at most
// `capacity` characters (`value` holds capacity + 1 bytes). 1, or the last failure
// (kErrUnreadableAnswer for an answer with "Error", a prompt or nothing in place of the value).
int32_t GetValueString(DeviceContext* device, const char* command, uint32_t timeoutMs, char* value,
                       uint32_t capacity);

// Reads one decimal value the same way. 1, or the last failure (kErrUnreadableAnswer when it
// does not parse or does not fit 32 bits).
int32_t GetValueLong(DeviceContext* device, const char* command, uint32_t timeoutMs,
                     int32_t* value);
