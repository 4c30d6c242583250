// vexabsl settings: connects to an instrument, reads every setting it has (as an update saves
// them before programming the flash) and prints them by name. --write-back then writes the same
// settings back, as an update restores them afterwards: a rehearsal of the save and restore on
// the instrument at hand.
#include <cstdio>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/instrument_link.h"
#include "instrument/device_settings.h"
#include "instrument/session.h"

namespace {

namespace bit = setting_bit;
using nlohmann::json;

struct SettingsOptions {
  InstrumentArgs link;
  bool json = false;
  bool writeBack = false;
};

json Bytes(const uint8_t* values) {
  return json(std::vector<int>(values, values + kFactorCount));
}

// Every setting of the record: its bit, its name for scripts and for people, and its value.
struct Field {
  uint32_t bit;
  const char* key;
  const char* label;
  json (*value)(const SettingsRecord&);
};

const Field kFields[] = {
    {bit::kName, "name", "Name", [](const SettingsRecord& r) { return json(r.deviceName); }},
    {bit::kDeviceId, "device_id", "Device ID",
     [](const SettingsRecord& r) { return json(r.deviceId); }},
    {bit::kSerialNumber, "serial_number", "Serial number",
     [](const SettingsRecord& r) { return json(r.serialNumber); }},
    {bit::kReportMode, "report_mode", "Report mode",
     [](const SettingsRecord& r) { return json(r.reportMode); }},
    {bit::kDepths, "depths", "Port depths",
     [](const SettingsRecord& r) { return Bytes(r.depths); }},
    {bit::kSite, "site", "Site", [](const SettingsRecord& r) { return json(r.site); }},
    {bit::kLatitude, "latitude", "Latitude",
     [](const SettingsRecord& r) { return json(r.latitude); }},
    {bit::kLongitude, "longitude", "Longitude",
     [](const SettingsRecord& r) { return json(r.longitude); }},
    {bit::kTimeZone, "time_zone", "Time zone (1/4 h)",
     [](const SettingsRecord& r) { return json(r.timeZoneQuarters); }},
    {bit::kWakeInterval, "wake_interval", "Wake interval",
     [](const SettingsRecord& r) { return json(r.wakeInterval); }},
    {bit::kPadc, "padc", "PADC (Hz)", [](const SettingsRecord& r) { return json(r.padcHertz); }},
    {bit::kPorts, "ports", "Ports", [](const SettingsRecord& r) { return Bytes(r.ports); }},
    {bit::kTrait, "trait", "Trait", [](const SettingsRecord& r) { return json(r.trait); }},
    {bit::kRadioMode, "radio_mode", "Radio mode",
     [](const SettingsRecord& r) { return json(r.radioMode); }},
    {bit::kRadioChannel, "radio_channel", "Radio channel",
     [](const SettingsRecord& r) { return json(r.radioChannel); }},
    {bit::kRadioSubChannel, "radio_subchannel", "Radio sub-channel",
     [](const SettingsRecord& r) { return json(r.radioSubChannel); }},
    {bit::kRadioVersion, "radio_version", "Radio version",
     [](const SettingsRecord& r) { return json(r.radioVersion); }},
    {bit::kDataParameter, "data_parameter", "Data parameter",
     [](const SettingsRecord& r) { return json(r.dataParameter); }},
    {bit::kBuild, "build", "Build", [](const SettingsRecord& r) { return json(r.buildText); }},
    {bit::kAdc30, "adc30_slopes", "ADC30 slopes",
     [](const SettingsRecord& r) { return Bytes(r.adc30Slopes); }},
    {bit::kAdc30, "adc30_offsets", "ADC30 offsets",
     [](const SettingsRecord& r) { return Bytes(r.adc30Offsets); }},
    {bit::kAdc15, "adc15_slopes", "ADC15 slopes",
     [](const SettingsRecord& r) { return Bytes(r.adc15Slopes); }},
    {bit::kAdc15, "adc15_offsets", "ADC15 offsets",
     [](const SettingsRecord& r) { return Bytes(r.adc15Offsets); }},
    {bit::kApn, "apn", "APN", [](const SettingsRecord& r) { return json(r.apn); }},
    {bit::kApnUser, "apn_user", "APN user",
     [](const SettingsRecord& r) { return json(r.apnUser); }},
    {bit::kApnPassword, "apn_password", "APN password",
     [](const SettingsRecord& r) { return json(r.apnPassword); }},
    {bit::kAuthKey, "auth_key", "Authkey", [](const SettingsRecord& r) { return json(r.authKey); }},
    {bit::kRemoteHost, "remote_host", "Remote host",
     [](const SettingsRecord& r) { return json(r.remoteHost); }},
    {bit::kIpPort, "ip_port", "IP port", [](const SettingsRecord& r) { return json(r.ipPort); }},
};

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Shown(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_array()) {
    std::string text;
    for (const json& item : value) text += (text.empty() ? "" : " ") + item.dump();
    return text;
  }
  if (value.is_number_float()) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.5f", value.get<double>());
    return text;
  }
  return value.dump();
}

void Print(const SettingsOptions& options, const SettingsRecord& record, int32_t result,
           uint32_t written, int32_t writeResult) {
  json out = {
      {"port", options.link.port},
      {"type_name", record.deviceTypeName},
      {"version_text", record.versionText},
      {"version", record.versionNumber},
      {"present_mask", Hex(record.presentMask)},
      {"result", result},
  };
  json settings = json::object();
  for (const Field& field : kFields) {
    if (record.presentMask & field.bit) settings[field.key] = field.value(record);
  }
  out["settings"] = settings;
  if (options.writeBack) {
    out["written_mask"] = Hex(written);
    out["write_result"] = writeResult;
  }
  if (options.json) {
    std::printf("%s\n", out.dump().c_str());
    return;
  }
  std::printf("%-19s %s\n", "Type", record.deviceTypeName);
  std::printf("%-19s %s\n", "Version", record.versionText);
  for (const Field& field : kFields) {
    if (record.presentMask & field.bit) {
      std::printf("%-19s %s\n", field.label, Shown(field.value(record)).c_str());
    }
  }
  std::printf("%-19s %s\n", "Present mask", Hex(record.presentMask).c_str());
  if (options.writeBack) {
    std::printf("%-19s %s (result %d)\n", "Written back", Hex(written).c_str(), writeResult);
  }
}

int RunSettings(const SettingsOptions& options) {
  InstrumentSession session(options.link);
  const int connected = session.Connect();
  if (connected != kExitOk) return connected;
  DeviceContext& device = session.Device();
  ProgressLine& progress = session.Progress();

  progress.label = "Reading settings";
  progress.unit = "settings";
  SettingsRecord record;
  uint32_t mask = kAllSettings;
  const int32_t result = DeviceSettings(&device, &record, &mask, 0);

  uint32_t written = 0;
  int32_t writeResult = 0;
  // What was read is written back, also after a partial read; nothing after a failed one.
  if (options.writeBack && (result == kResultOk || result == kErrPartlyDone)) {
    progress.label = "Writing settings";
    written = record.presentMask & ~setting_bit::kIdentification;
    writeResult = DeviceSettings(&device, &record, &written, 1);
  }
  DisconnectDevice(&device, false);

  if (result < 0 && result != kErrPartlyDone) return session.Failed("reading the settings", result);
  Print(options, record, result, written, writeResult);
  if (result == kErrPartlyDone) {
    std::fprintf(stderr, "Some settings could not be read.\n");
    return session.Failed("reading the settings", result);
  }
  if (options.writeBack && writeResult < 0) {
    return session.Failed("writing the settings back", writeResult);
  }
  return kExitOk;
}

}  // namespace

void SetupSettingsCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<SettingsOptions>();
  CLI::App* settings = app.add_subcommand(
      "settings", "Read every setting of a logger's command line and print it by name");
  AddInstrumentOptions(settings, options->link);
  settings->add_flag("--json", options->json, "Print one JSON object");
  settings->add_flag("--write-back", options->writeBack,
                     "Then write the settings read back, as an update restores them");
  settings->callback([&run, options] { run = [options] { return RunSettings(*options); }; });
}
