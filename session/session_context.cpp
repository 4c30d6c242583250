#include "session/session_context.h"

#include <new>

#include "instrument/session.h"

SessionContext::SessionContext(VexaLog* sink) : log(sink), device(sink), sensor(sink, &device) {
  status = device.status < 0 ? device.status : kResultOk;
}

SessionContext::~SessionContext() {
  ReleaseDevice(&device);
}

void ClearSessionSettings(SessionContext* session) {
  if (!session) return;
  session->settings = SettingsRecord{};
  session->lab = LabSettings{};
  session->settingsHeld = false;
  session->savedMask = 0;
  session->failedMask = 0;
  VexaSDI12& sensor = session->sensor;
  sensor.address = '0';
  sensor.info[0] = sensor.serialNumber[0] = sensor.x4[0] = sensor.xa[0] = sensor.xo[0] = 0;
  sensor.version = 0;
  sensor.type = 0;
  sensor.numericType = false;
  sensor.xoPresent = false;
  ReleaseRecords(&session->users);
  ReleaseRecords(&session->eqns);
}

RecordSet* RecordSetOf(SessionContext* session, int type) {
  if (type == record_type::kEqn) return &session->eqns;
  if (type == record_type::kUser) return &session->users;
  return nullptr;
}

const char* RecordSetName(int type) {
  if (type == record_type::kEqn) return "eqn";
  if (type == record_type::kUser) return "user";
  return nullptr;
}

int32_t AllocateRecords(RecordSet* set, uint32_t count) {
  ReleaseRecords(set);
  set->records.reset(new (std::nothrow) LabRecord[count]());
  if (!set->records) return kErrOutOfMemory;
  set->count = count;
  return kResultOk;
}

void ReleaseRecords(RecordSet* set) {
  set->records.reset();
  set->count = 0;
}
