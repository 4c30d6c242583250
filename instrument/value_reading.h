// How the setting commands find a value in an instrument's answer. An answer is a carriage return,
// the value and the prompt ("\rNorth Creek\r>"); some firmware puts more text first. Every reader
// is bounded by its destination and never reads past the answer's terminator.
#pragma once

#include <cstdint>

// The first word after the answer's first carriage return (or from its start): at most `limit`
// characters, up to a blank, a line end or the prompt. 1, or kErrUnreadableAnswer when there is
// no word.
int32_t ReadWordValue(const char* answer, char* value, uint32_t limit);

// A text value: leading white space skipped, then the characters up to a carriage return or the
// end, at most `limit` (a longer value is cut). kErrBarePrompt when the prompt comes first (no
// value), kErrUnreadableAnswer when nothing was copied.
int32_t ReadTextValue(const char* answer, char* value, uint32_t limit);

// The same, but the value starts right after the answer's first carriage return (or at its
// start). Without `checkPrompt` a value beginning with the prompt counts as no value
// (kErrUnreadableAnswer).
int32_t ReadLineValue(const char* answer, char* value, uint32_t limit, bool checkPrompt);

// A decimal of 32 bits after white space, or after the first carriage return when
// `afterReturn`. 1, or kErrUnreadableAnswer when there is none or it does not fit.
int32_t ReadNumberValue(const char* answer, bool afterReturn, int32_t* value);

// Up to `count` decimals separated by white space, from the answer's start. Returns how many were
// read; a number that is negative or above 255 is stored as 255.
int ReadByteValues(const char* answer, uint8_t* values, int count);

// A decimal fraction (latitude, longitude) after white space. 1, or kErrBarePrompt when there is
// none or it is not a finite number.
int32_t ReadDoubleValue(const char* answer, double* value);
