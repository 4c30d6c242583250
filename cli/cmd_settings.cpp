// vexabsl settings: connects to an instrument, reads every setting it has (as an update saves
// them before programming the flash) and prints them by name: a logger's settings record, or the
// items of a lab instrument or the FieldPal. --save writes them as a settings file; --write-back
// then writes the same settings back, as an update restores them afterwards (a rehearsal of the
// save and restore); --restore writes a settings file back, as an update does when it no longer
// holds the settings, which puts back the settings kept from an interrupted update. A family
// that needs a login is logged in after the identification and out at the end, as an update does.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/settings_file_problem.h"
#include "cli/commands.h"
#include "cli/instrument_link.h"
#include "cli/settings_file_check.h"
#include "instrument/device_settings.h"
#include "instrument/device_types.h"
#include "instrument/session.h"
#include "session/connection.h"
#include "session/lab_items.h"
#include "session/save_restore.h"
#include "session/settings_file.h"

namespace {

namespace bit = setting_bit;
using nlohmann::json;

struct SettingsOptions {
  InstrumentArgs link;
  bool json = false;
  bool writeBack = false;
  std::string save;
  std::string restore;
  std::string newSerial;
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

// The command layer knows the loggers by their own type codes, also those the updater does not
// program (the oldest Qd4), so their settings can still be read.
bool IsLoggerDevice(uint8_t code) {
  return code == device_type::kQd4 || code == device_type::kQd40 ||
         code == device_type::kLinkDepot || code == device_type::kQd4b ||
         code == device_type::kRQ7 || code == device_type::kZRT2;
}

// The settings file's lines of a lab instrument or the reader, as they are held.
nlohmann::ordered_json LabLines(SessionContext& session) {
  nlohmann::ordered_json lines = nlohmann::ordered_json::object();
  ForEachSettingsLine(&session, [&lines](const char* key, const char* value) {
    if (*value && std::string(key) != "type") lines[key] = value;
    return true;
  });
  return lines;
}

void PrintLab(const SettingsOptions& options, SessionContext& session, int32_t result,
              int32_t writeResult) {
  nlohmann::ordered_json out = {
      {"port", options.link.port},
      {"type", CatalogueKey(session.type)},
      {"type_name", session.descriptor.name},
      {"version_text", session.descriptor.versionText},
      {"version", session.descriptor.version},
      {"present_mask", Hex(session.lab.presentMask)},
      {"result", result},
      {"settings", LabLines(session)},
  };
  if (options.writeBack) out["write_result"] = writeResult;
  if (options.json) {
    std::printf("%s\n", out.dump().c_str());
    return;
  }
  std::printf("%-19s %s\n", "Type", session.descriptor.name);
  std::printf("%-19s %s\n", "Version", session.descriptor.versionText);
  for (const auto& [key, value] : out["settings"].items()) {
    std::printf("%-19s %s\n", key.c_str(), value.get<std::string>().c_str());
  }
  std::printf("%-19s %s\n", "Present mask", Hex(session.lab.presentMask).c_str());
  if (options.writeBack) std::printf("%-19s (result %d)\n", "Written back", writeResult);
}

// The names of the items in `failed` (lab bits, or a logger's setting bits by their printed keys).
std::string FailedItems(bool logger, uint32_t failed) {
  std::string names;
  const auto add = [&names](const char* name) {
    names += (names.empty() ? "" : ", ") + std::string(name);
  };
  if (logger) {
    for (const Field& field : kFields) {
      if (failed & field.bit) add(field.key);
    }
    return names;
  }
  for (uint32_t bit = 1; bit != 0; bit <<= 1) {
    if (failed & bit) add(LabItemName(bit));
  }
  return names;
}

// Whether the settings held hold any value (the identification is none).
bool HoldsValues(const SessionContext& session, bool logger) {
  return logger ? (session.settings.presentMask & ~bit::kIdentification) != 0
                : session.lab.presentMask != 0;
}

int FileFailed(const InstrumentSession& link, const std::string& path, bool writing, int32_t code,
               const char* device) {
  std::fprintf(stderr, "Log: %s\nvexabsl: %s [Error %d]\n", link.LogPath().c_str(),
               SettingsFileProblem(code, path, writing, device).c_str(), code);
  return kExitFailed;
}

std::string WholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads the file first and writes nothing when it holds nothing to write, or values the
// instrument's items cannot hold whole: a cut calibration is a wrong one.
int RestoreFromFile(const SettingsOptions& options, InstrumentSession& link, bool logger) {
  SessionContext& session = link.Session();
  const std::string& path = options.restore;
  const char* newSerial = options.newSerial.empty() ? nullptr : options.newSerial.c_str();
  session.settingsHeld = false;  // the file, not what this run read
  const int32_t read = DPReadInfo(&session, path.c_str());
  if (read < 0) {
    DPLogout(&session, false);
    return FileFailed(link, path, false, read, session.descriptor.name);
  }
  const std::vector<std::string> cut = ValuesNotHeldWhole(&session, WholeFile(path));
  if (!cut.empty() || (!HoldsValues(session, IsLoggerType(session.type)) && !newSerial)) {
    DPLogout(&session, false);
    if (cut.empty()) {
      std::fprintf(stderr, "vexabsl: %s holds no settings; nothing was restored\n", path.c_str());
    } else {
      std::fprintf(stderr, "These values of %s do not fit the %s:\n", path.c_str(),
                   session.descriptor.name);
      for (const std::string& value : cut) std::fprintf(stderr, "  %s\n", value.c_str());
      std::fprintf(stderr, "vexabsl: nothing was restored\n");
    }
    return kExitFailed;
  }
  const int32_t login = LogInWhereNeeded(session);
  if (login < 0) return link.Failed("logging in", login);
  link.Progress().label = "Writing settings";
  link.Progress().unit = "settings";
  const int32_t result = DPRestoreInfo(&session, path.c_str(), newSerial);
  DPLogout(&session, true);
  if (result == kErrPartlyDone) {
    std::fprintf(stderr, "These settings were not restored: %s\n",
                 FailedItems(logger, session.failedMask).c_str());
  }
  if (result < 0) return link.Failed("restoring the settings", result);
  std::printf("Restored the settings of %s to the %s on %s.\n", path.c_str(),
              session.descriptor.name, options.link.port.c_str());
  return kExitOk;
}

int SaveFile(const SettingsOptions& options, InstrumentSession& link) {
  SessionContext& session = link.Session();
  const int32_t written = WriteInfoFile(&session, options.save.c_str());
  if (written < 0) {
    return FileFailed(link, options.save, true, written, session.descriptor.name);
  }
  if (!options.json) std::printf("Settings saved to %s\n", options.save.c_str());
  return kExitOk;
}

int RunSettings(const SettingsOptions& options) {
  InstrumentSession link(options.link);
  const int connected = link.Connect();
  if (connected != kExitOk) return connected;
  SessionContext& session = link.Session();
  DeviceContext& device = session.device;
  ProgressLine& progress = link.Progress();

  DeviceDescriptor descriptor;
  const int32_t identified = DPIdentify(&session, &descriptor);
  const bool logger = IsLoggerType(session.type) || IsLoggerDevice(device.settings.deviceType);
  if (!logger && identified < 0) return link.Failed("identifying the instrument", identified);
  const bool keepsFile = IsLoggerType(session.type) || identified >= 0;
  if ((!options.save.empty() || !options.restore.empty()) && !keepsFile) {
    std::fprintf(stderr,
                 "vexabsl: the updater keeps no settings file for this instrument; without "
                 "--save and --restore its settings are printed\n");
    return kExitFailed;
  }
  if (!options.restore.empty()) return RestoreFromFile(options, link, logger);
  const int32_t login = LogInWhereNeeded(session);
  if (login < 0) return link.Failed("logging in", login);

  progress.label = "Reading settings";
  progress.unit = "settings";
  int32_t result;
  if (logger) {
    SettingsRecord& record = session.settings;
    uint32_t mask = kAllSettings;
    result = DeviceSettings(&device, &record, &mask, SettingDirection::kRead);
    session.failedMask = kAllSettings & ~mask & ~bit::kIdentification;
  } else {
    result = DPCollectInfo(&session);
  }
  // A read that got no value at all is a failed one: nothing to print, save or write back.
  const bool read =
      (result == kResultOk || result == kErrPartlyDone) && HoldsValues(session, logger);
  session.settingsHeld = read;
  session.savedMask = logger ? session.settings.presentMask : session.lab.presentMask;

  // What was read is written back, also after a partial read; nothing after a failed one.
  uint32_t written = 0;
  int32_t writeResult = 0;
  if (options.writeBack && read) {
    progress.label = "Writing settings";
    if (logger) {
      written = session.settings.presentMask & ~bit::kIdentification;
      writeResult = DeviceSettings(&device, &session.settings, &written, SettingDirection::kWrite);
    } else {
      writeResult = DPRestoreInfo(&session, nullptr, nullptr);
    }
  }
  DPLogout(&session, true);

  if (!read) {
    if (result == kErrPartlyDone && session.failedMask) {
      std::fprintf(stderr, "None of these settings could be read: %s\n",
                   FailedItems(logger, session.failedMask).c_str());
    }
    if (!options.save.empty()) {
      std::fprintf(stderr, "Nothing was saved; %s is left as it was\n", options.save.c_str());
    }
    if (result == kErrNotForThisType) {
      std::fprintf(stderr, "vexabsl: the updater keeps no settings of a %s\n",
                   session.descriptor.name);
      return kExitFailed;
    }
    return link.Failed("reading the settings", result < 0 ? result : kErrPartlyDone);
  }
  if (logger) {
    Print(options, session.settings, result, written, writeResult);
  } else {
    PrintLab(options, session, result, writeResult);
  }
  if (!options.save.empty()) {
    const int saved = SaveFile(options, link);
    if (saved != kExitOk) return saved;
  }
  if (result == kErrPartlyDone) {
    std::fprintf(stderr, "Some settings could not be read: %s\n",
                 FailedItems(logger, session.failedMask).c_str());
    return link.Failed("reading the settings", result);
  }
  if (options.writeBack && writeResult < 0) {
    return link.Failed("writing the settings back", writeResult);
  }
  return kExitOk;
}

}  // namespace

void SetupSettingsCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<SettingsOptions>();
  CLI::App* settings = app.add_subcommand(
      "settings", "Read every setting of an instrument and print it by name; save or restore them");
  AddInstrumentOptions(settings, options->link);
  settings->add_flag("--json", options->json, "Print one JSON object");
  CLI::Option* writeBack =
      settings->add_flag("--write-back", options->writeBack,
                         "Then write the settings read back, as an update restores them");
  CLI::Option* save =
      settings->add_option("--save", options->save, "Also write them to this settings file")
          ->check(FileToWrite());
  CLI::Option* restore =
      settings
          ->add_option(
              "--restore", options->restore,
              "Write the settings of this settings file back to the instrument instead of reading")
          ->check(FileToRead());
  settings
      ->add_option("--new-sn", options->newSerial,
                   "With --restore: give the instrument this serial number")
      ->needs(restore)
      ->check(NewSerialNumber());
  restore->excludes(writeBack)->excludes(save);
  settings->callback([&run, options] { run = [options] { return RunSettings(*options); }; });
}
