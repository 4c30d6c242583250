// The session context: one per program run, the update sequence's view of the instrument. It
// owns the command-layer device context and the SDI-12 sensor object, and holds what the session
// layer learns and keeps between the save before a firmware upload and the restore after it: the
// logger settings record, the lab settings block with its two record sets, the catalogue type and
// descriptor of the instrument met, and whether settings are held in memory.
//
//   SessionContext session(&log);          // status 1, or kErrOutOfMemory
//   DPConnect(&session, "ttyUSB0", 2, 3, &descriptor);
//   DPSaveInfo(&session, path);  ...  DPRestoreInfo(&session, path, nullptr);
#pragma once

#include <cstdint>
#include <memory>

#include "instrument/device_context.h"
#include "instrument/settings_record.h"
#include "link/log.h"
#include "sdi12/vexa_sdi12.h"
#include "session/catalogue.h"

constexpr const char* kSessionTag = "Vexa_protocol";

// Text sizes of the lab settings block, terminator included.
constexpr uint32_t kLabNameSize = 9;
constexpr uint32_t kLabSerialSize = 16;
constexpr uint32_t kLabConfigSize = 65;
constexpr uint32_t kLabShortSize = 17;   // adc, chai, extCal
constexpr uint32_t kLabOffsetSize = 64;  // adccal, wtoffset, p1offset, auto, wtfactory
constexpr uint32_t kLabTextSize = 257;
constexpr uint32_t kCalEntryCount = 20;

// The lab items by presence bit. A lab instrument is saved item by item; the bit says the block
// holds the item. Bit 0x10000 is not used.
namespace lab_bit {
constexpr uint32_t kName = 0x00000001;
constexpr uint32_t kSerialNumber = 0x00000002;
constexpr uint32_t kPSet = 0x00000004;  // p0, p3, p5, lwidth, ltemp, current, p1
constexpr uint32_t kLanguage = 0x00000008;
constexpr uint32_t kContrast = 0x00000010;
constexpr uint32_t kFvals = 0x00000020;
constexpr uint32_t kUvals = 0x00000040;
constexpr uint32_t kUnits = 0x00000080;
constexpr uint32_t kAdc = 0x00000100;
constexpr uint32_t kInterval = 0x00000200;  // read, never restored
constexpr uint32_t kAdcCal = 0x00000400;
constexpr uint32_t kConfig = 0x00000800;
constexpr uint32_t kWtOffset = 0x00001000;
constexpr uint32_t kP1Offset = 0x00002000;
constexpr uint32_t kAuto = 0x00004000;
constexpr uint32_t kUsage = 0x00008000;
constexpr uint32_t kUnused = 0x00010000;
constexpr uint32_t kWtFactory = 0x00020000;
constexpr uint32_t kAdc15 = 0x00040000;
constexpr uint32_t kAdc30 = 0x00080000;
constexpr uint32_t kSample = 0x00100000;
constexpr uint32_t kCalEntries = 0x00200000;
constexpr uint32_t kPValues = 0x00400000;  // "-p" into fvals; the SRB also "-pv" and "-c76"
constexpr uint32_t kPcUnits = 0x00800000;
constexpr uint32_t kLocation = 0x01000000;
constexpr uint32_t kChai = 0x02000000;
constexpr uint32_t kExtCal = 0x04000000;
constexpr uint32_t kUserRecords = 0x08000000;
constexpr uint32_t kEqnRecords = 0x10000000;
constexpr uint32_t kTadj = 0x20000000;
constexpr uint32_t kHadjTau = 0x40000000;
constexpr uint32_t kSys = 0x80000000;
}  // namespace lab_bit

// Where the p-set keeps its seven values in the calibration area.
namespace pset_entry {
constexpr int kP0 = 0, kP3 = 1, kP5 = 2, kLwidth = 3, kLtemp = 4, kCurrent = 5, kP1 = 7;
}

struct LabSettings {
  uint32_t presentMask = 0;
  int8_t type = 0;
  char name[kLabNameSize] = {};
  char serialNumber[kLabSerialSize] = {};
  int32_t language = 0;
  int32_t contrast = 0;
  char fvals[kLabTextSize] = {};
  char uvals[kLabTextSize] = {};
  int32_t units = 0;
  char adc[kLabShortSize] = {};
  int32_t interval = 0;
  char adccal[kLabOffsetSize] = {};
  char config[kLabConfigSize] = {};
  char wtoffset[kLabOffsetSize] = {};
  char p1offset[kLabOffsetSize] = {};
  char autoText[kLabOffsetSize] = {};
  char usage[kLabTextSize] = {};
  char wtfactory[kLabOffsetSize] = {};
  char adc15[kLabTextSize] = {};
  char adc30[kLabTextSize] = {};
  char sample[kLabTextSize] = {};
  char pcUnits[kLabTextSize] = {};
  char location[kLabTextSize] = {};
  char chai[kLabShortSize] = {};
  char extCal[kLabShortSize] = {};
  char tadj[kLabTextSize] = {};
  char hadj[kLabTextSize] = {};
  int32_t tau = 0;
  char sys[kLabTextSize] = {};
  char calprefs[kLabTextSize] = {};  // travels with kPValues on the SRB
  char cal[kCalEntryCount][kLabTextSize] = {};
};

// The record sets of the lab instruments: user rows and equations, each record a name (taken
// from its data when sorting) and the data text the instrument gives and takes.
namespace record_type {
constexpr int kEqn = 1;
constexpr int kUser = 2;
}  // namespace record_type
constexpr uint32_t kRecordNameSize = 33;
constexpr uint32_t kRecordDataSize = 257;
constexpr uint32_t kMaxEqnRecords = 100;
constexpr uint32_t kMaxUserRecords = 25;

struct LabRecord {
  char name[kRecordNameSize];
  char data[kRecordDataSize];
};

struct RecordSet {
  uint32_t count = 0;
  std::unique_ptr<LabRecord[]> records;  // count records, zeroed when allocated
};

struct SessionContext {
  explicit SessionContext(VexaLog* log);
  ~SessionContext();  // lets the instrument go (ReleaseDevice)
  SessionContext(const SessionContext&) = delete;
  SessionContext& operator=(const SessionContext&) = delete;

  VexaLog* log = nullptr;
  int32_t status = 0;  // 1, or kErrOutOfMemory (the device context has no buffers)
  DeviceContext device;
  VexaSDI12 sensor;
  SettingsRecord settings;  // the logger family's settings, read and written whole
  LabSettings lab;
  int8_t type = 0;  // catalogue type of the instrument met
  DeviceDescriptor descriptor;
  bool settingsHeld = false;  // a save or file read filled the settings; a restore uses them
  uint32_t savedMask = 0;
  RecordSet users;
  RecordSet eqns;
  // The items of the last collection or restore that failed (lab bits, or setting bits for a
  // logger), so a caller can say which settings are missing.
  uint32_t failedMask = 0;
};

// The loggers (Qd4b, Qd40, LinkDepot, rQ7, ZRT2) keep their settings in the settings record;
// the digital sensor (10) in the sensor object; every other type in the lab block.
constexpr bool IsLoggerType(int type) {
  return type == 2 || type == 3 || type == 4 || type == 18 || type == 19;
}
constexpr int kDigitalSensorType = 10;

// Forgets everything read from an instrument: the settings record, the lab block, the record
// sets, the held flag and the masks. The update sequence does this at the start of every run.
void ClearSessionSettings(SessionContext* session);

// The record set of a record type, or null for another type.
RecordSet* RecordSetOf(SessionContext* session, int type);
// "eqn" or "user"; null for another type.
const char* RecordSetName(int type);
// Replaces the set by `count` zeroed records. 1, or kErrOutOfMemory.
int32_t AllocateRecords(RecordSet* set, uint32_t count);
void ReleaseRecords(RecordSet* set);
