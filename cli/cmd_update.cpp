// vexabsl update: the whole update of an instrument from the command line, the same sequence the
// window runs: identify, check, save the settings, program the flash, restore the settings, set
// the clock and erase the old data. vexabsl update-sensor: the same for the digital sensor behind
// a FieldPal, as the sensor updater's window runs it.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/product.h"
#include "app/settings_file_problem.h"
#include "app/update_context.h"
#include "app/update_engine.h"
#include "app/update_texts.h"
#include "cli/commands.h"
#include "cli/console_front_end.h"
#include "cli/interrupts.h"
#include "link/result.h"

namespace {

struct UpdateOptions {
  std::string port;
  std::string file;
  std::string dataDir;
  std::string log;
  bool verbose = false;
  bool factory = false;
  bool rep = false;
  bool keepData = false;
  std::string newSerial;
  bool yes = false;
  bool no = false;
  bool json = false;
  bool jsonEvents = false;  // the progress events as JSON lines before the JSON object
  uint32_t sensorType = 0;  // update-sensor: the type to give the sensor (0: the product's)
};

void PrintJson(const UpdateContext& c, int32_t result) {
  const nlohmann::json out = {
      {"result", result},
      {"seconds", c.seconds},
      {"instrument",
       {{"type", c.descriptor.type},
        {"name", c.descriptor.name},
        {"version", c.descriptor.version},
        {"version_text", c.descriptor.versionText}}},
      {"settings_saved", c.settingsSaved},
      {"settings_restored", c.settingsRestored},
      {"settings_file_kept",
       c.keptSettingsFile.empty() ? nlohmann::json(nullptr) : nlohmann::json(c.keptSettingsFile)},
  };
  std::printf("%s\n", out.dump().c_str());
}

int RunUpdateCommand(const UpdateOptions& options, const Product& product) {
  EngineDescription description;
  description.product = &product;
  if (!UseDataFolder(options.dataDir, &description.dataFolder)) return kExitFailed;
  description.errorFile = options.log;
  description.logLevel = options.verbose ? vexa_log_level::kBytes : vexa_log_level::kTrace;
  description.portName = description.portDescription = options.port;
  description.firmwareFile = options.file;
  description.sensorType = options.sensorType;
  description.serviceRecord = true;

  RunOptions run;
  run.factoryMode = options.factory;
  run.serviceFlag = options.factory || options.rep;
  run.dontEraseData = options.keepData;
  run.replaceSerial = !options.newSerial.empty();
  run.newSerial = options.newSerial;
  const Answering answering = options.yes  ? Answering::kAllOk
                              : options.no ? Answering::kAllCancel
                                           : Answering::kAsk;
  const bool json = options.json || options.jsonEvents;
  ConsoleFrontEnd ui(run, answering, json, options.jsonEvents);
  UpdateEngine engine(description, &ui);
  UpdateContext& context = engine.Context();
  switch (engine.FailedStep()) {
    case EngineStep::kNone:
      break;
    case EngineStep::kSession:
      return ReportFailure("starting", engine.Status());
    case EngineStep::kBuiltinImage:
      return ReportFailure("the built-in image check", engine.Status());
    case EngineStep::kFirmwareFile: {
      const std::string name = options.file.substr(options.file.find_last_of('/') + 1);
      std::fprintf(stderr, "File Error\n%s\n",
                   FileErrorText(context.caption, name, engine.Status()).c_str());
      return ReportFailure("opening the firmware file", engine.Status());
    }
  }
  if (!options.file.empty()) {
    std::fprintf(stderr, "Firmware file %s: %s %s\n", options.file.c_str(),
                 context.deviceName.c_str(), VersionText(context.imageVersion).c_str());
  }
  WarnOnInterrupt(DontQuitText(context.caption, context.deviceName));

  const int32_t result = engine.Update();
  ui.EndProgress();
  std::fprintf(stderr, "Log: %s\n", engine.Log().Path().c_str());
  if (json) PrintJson(context, result);
  // With the events, stdout holds JSON lines only.
  FILE* textOut = options.jsonEvents ? stderr : stdout;
  if (result < 0) {
    std::fprintf(textOut, "result: %d\n", result);
    return kExitFailed;
  }
  if (context.restoreIncomplete) {
    // A file of this computer that failed the restore is named with what happened to it; a
    // file that is not there is not "kept" anywhere.
    const int32_t why = context.restoreResult;
    if (IsSettingsFileProblem(why)) {
      const std::string problem =
          SettingsFileProblem(why, context.settingsPath, false, context.deviceName);
      std::fprintf(textOut, "settings: not restored: %s\n", problem.c_str());
    }
    if (why != kErrSettingsFileMissing && why != kErrFileMissing) {
      // When the file could not be moved aside it stays where the run saved it.
      const std::string& kept =
          context.keptSettingsFile.empty() ? context.settingsPath : context.keptSettingsFile;
      std::fprintf(textOut, "settings: not all restored; kept in %s\n", kept.c_str());
    }
    return kExitSettingsNotRestored;
  }
  return kExitOk;
}

}  // namespace

namespace {

UpdateOptions* AddUpdateCommand(CLI::App& app, CommandRunner& run, const char* name,
                                const char* description, const Product& product) {
  auto options = std::make_shared<UpdateOptions>();
  CLI::App* update = app.add_subcommand(name, description);
  update->add_option("--port", options->port, "Serial port: ttyUSB0, or a device path")->required();
  CLI::Option* file = update
                          ->add_option("--file", options->file,
                                       "TI-Text firmware file in place of the built-in image")
                          ->check(FileToRead());
  update->add_option("--data-dir", options->dataDir,
                     "Folder of the settings file and the error file (default: the data folder)");
  update->add_option("--log", options->log, "Error file (default: in the data folder)")
      ->check(FileToWrite());
  update->add_flag("--verbose", options->verbose, "Log every byte on the wire");
  CLI::Option* factory =
      update->add_flag("--factory", options->factory, "Factory mode (\"-factory\")");
  CLI::Option* rep = update->add_flag("--rep", options->rep, "Service mode (\"-rep\")");
  update->add_flag("--keep-data", options->keepData, "Don't erase the instrument's stored data");
  update->add_option("--new-sn", options->newSerial, "Give the instrument this serial number")
      ->check(NewSerialNumber());
  CLI::Option* yes = update->add_flag("--yes", options->yes, "Answer every question OK");
  update->add_flag("--no", options->no, "Answer every question Cancel")->excludes(yes);
  update->add_flag("--json", options->json, "Print one JSON object at the end");
  update->add_flag("--json-events", options->jsonEvents,
                   "Print each progress event as a JSON line, then the JSON object at the end");
  if (product.digitalSensor) {
    update
        ->add_option("--sensor-type", options->sensorType,
                     "The sensor type to load and set (a type number, or a family 260 to 264; "
                     "default 123, the AERIX 14)")
        ->check(CLI::Range(1, 264));
  }
  update->callback([options, file, factory, rep, &run, &product] {
    if (file->count() && !factory->count() && !rep->count()) {
      throw CLI::ValidationError("--file", "needs --rep or --factory");
    }
    run = [options, &product] { return RunUpdateCommand(*options, product); };
  });
  return options.get();
}

}  // namespace

void SetupUpdateCommand(CLI::App& app, CommandRunner& run) {
  AddUpdateCommand(app, run, "update",
                   "Update an instrument's firmware, keeping its settings (the whole update)",
                   kFieldPalProduct);
  AddUpdateCommand(app, run, "update-sensor",
                   "Update the firmware of the digital sensor behind a FieldPal, keeping its "
                   "calibration, address and serial number",
                   kSensorProduct);
}
