// The items of the lab settings block: which presence bit each has, where it lives in the block,
// its key in the settings file, and the commands that read and write it. One table serves the
// item-by-item save and restore and the settings file, so a key or a command is written once.
#pragma once

#include <cstdint>

#include "session/session_context.h"

enum class LabValue { kText, kNumber };

struct LabItem {
  uint32_t bit;
  const char* key;  // in the settings file
  LabValue kind;
  uint32_t size;  // text bytes with the terminator
  char* (*text)(LabSettings&);
  int32_t* (*number)(LabSettings&);
  const char* getCommand;  // without "\r"; null: read by a rule of its own
  const char* setFormat;   // null: never written back
  const char* label;       // in the "SetInstInfo set ..." line
};

// The row whose key is `key`, or null.
const LabItem* FindLabItemByKey(const char* key);
// The first row with presence bit `bit` that is read and written by its commands alone, or null
// for the items with rules of their own (p-set, calibration entries, p values, hadj and tau, the
// record sets, uvals).
const LabItem* FindPlainLabItem(uint32_t bit);

// A short name of the item of presence bit `bit` for people ("sn", "cal", "user"), "?" for a
// bit no item has.
const char* LabItemName(uint32_t bit);

// The settings file's lab keys in the order they are written, after "type".
extern const char* const kLabFileKeys[];
extern const int kLabFileKeyCount;
// Items kept in the file only when held (they have no place in the file's fixed layout).
extern const char* const kLabHeldOnlyKeys[];
extern const int kLabHeldOnlyKeyCount;
