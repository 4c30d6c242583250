#include "sim/line_stats.h"

#include <sys/resource.h>

namespace {

double UsToMs(double us) {
  return static_cast<double>(static_cast<int64_t>(us / 10.0 + 0.5)) / 100.0;
}

double CpuUs() {
  struct rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

const char* DeviceWorkName(DeviceWork work) {
  switch (work) {
    case DeviceWork::kAnswer:
      return "answer";
    case DeviceWork::kErase:
      return "erase";
    case DeviceWork::kProgram:
      return "program";
    case DeviceWork::kRestart:
      return "restart";
    case DeviceWork::kDataErase:
      return "data_erase";
    case DeviceWork::kPoweredOff:
      return "powered_off";
  }
  return "?";
}

nlohmann::ordered_json LineStats::ToJson(bool realtime) const {
  nlohmann::ordered_json stats;
  stats["realtime"] = realtime;
  stats["bytes_received"] = bytesReceived;
  stats["bytes_sent"] = bytesSent;
  stats["wire_ms_received"] = UsToMs(wireUsReceived);
  stats["wire_ms_sent"] = UsToMs(wireUsSent);
  const double wireUs = wireUsReceived + wireUsSent;
  stats["wire_ms"] = UsToMs(wireUs);
  nlohmann::ordered_json device;
  double workUs = 0;
  for (int kind = 0; kind < kDeviceWorkKinds; ++kind) {
    const auto work = static_cast<DeviceWork>(kind);
    const double us = deviceUs[static_cast<size_t>(kind)];
    device[DeviceWorkName(work)] = UsToMs(us);
    if (work != DeviceWork::kPoweredOff) workUs += us;  // time without power is no work
  }
  stats["device_ms"] = device;
  stats["device_ms_total"] = UsToMs(workUs);
  stats["modelled_ms"] = UsToMs(wireUs + workUs);
  stats["answers"] = answers;
  stats["silenced_answers"] = silencedAnswers;
  stats["lost_bytes"] = lostBytes;
  stats["served_ms"] = UsToMs(static_cast<double>(servedUs));
  stats["cpu_ms"] = UsToMs(CpuUs());
  return stats;
}
