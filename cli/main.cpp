// vexabsl: the command-line face of the updater, for service staff and scripts.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "app/data_folder.h"
#include "cli/commands.h"
#include "cli/version.h"
#include "link/result.h"
#include "session/save_restore.h"

void SetupImageCommand(CLI::App& app, CommandRunner& run);         // cmd_image.cpp
void SetupFlashCommand(CLI::App& app, CommandRunner& run);         // cmd_flash.cpp
void SetupIdentifyCommand(CLI::App& app, CommandRunner& run);      // cmd_identify.cpp
void SetupSensorCommand(CLI::App& app, CommandRunner& run);        // cmd_sensor.cpp
void SetupSettingsCommand(CLI::App& app, CommandRunner& run);      // cmd_settings.cpp
void SetupClockCommand(CLI::App& app, CommandRunner& run);         // cmd_clock.cpp
void SetupUpdateCommand(CLI::App& app, CommandRunner& run);        // cmd_update.cpp
void SetupPortsCommand(CLI::App& app, CommandRunner& run);         // cmd_ports.cpp
void SetupCheckVersionCommand(CLI::App& app, CommandRunner& run);  // cmd_check_version.cpp
void SetupFeedbackCommand(CLI::App& app, CommandRunner& run);      // cmd_feedback.cpp
void SetupHistoryCommand(CLI::App& app, CommandRunner& run);       // cmd_history.cpp

namespace {

// Every subcommand of the tool, in the order --help lists them.
const CommandSetup kCommands[] = {
    SetupUpdateCommand,   SetupHistoryCommand,      SetupImageCommand,    SetupFlashCommand,
    SetupIdentifyCommand, SetupSettingsCommand,     SetupClockCommand,    SetupSensorCommand,
    SetupPortsCommand,    SetupCheckVersionCommand, SetupFeedbackCommand,
};

}  // namespace

int ReportFailure(const char* what, int32_t code) {
  std::fprintf(stderr, "vexabsl: %s failed [Error %d] %s\n", what, code, ResultText(code));
  return kExitFailed;
}

bool UseDataFolder(const std::string& named, std::string* folder) {
  std::string why;
  if (!named.empty()) {
    // "dir/" and "dir" are one folder; file names are joined to it with a '/' of their own.
    *folder = named;
    while (folder->size() > 1 && folder->back() == '/') folder->pop_back();
  } else {
    const DataFolderChoice choice = ChooseDataFolder();
    if (choice.path.empty()) {
      std::fprintf(stderr, "vexabsl: no data folder: %s\n", choice.problem.c_str());
      return false;
    }
    if (!choice.problem.empty()) {
      std::fprintf(stderr, "vexabsl: %s; using %s instead\n", choice.problem.c_str(),
                   choice.path.c_str());
    }
    *folder = choice.path;
  }
  if (MakeDataFolder(*folder, &why)) return true;
  std::fprintf(stderr, "vexabsl: %s\n", why.c_str());
  return false;
}

const CLI::Validator& FileToRead() {
  static const CLI::Validator check(
      [](const std::string& path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0) return std::string();  // the reader says why
        return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) ? std::string()
                                                              : path + " is not a regular file";
      },
      "FILE");
  return check;
}

const CLI::Validator& FileToWrite() {
  static const CLI::Validator check(
      [](const std::string& path) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0) return std::string();  // made when written
        return S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISDIR(info.st_mode)
                   ? std::string()
                   : path + " is not a regular file";
      },
      "FILE");
  return check;
}

const CLI::Validator& NewSerialNumber() {
  static const CLI::Validator check(
      [](const std::string& serial) {
        return IsValidSerialNumber(serial)
                   ? std::string()
                   : std::string("a serial number is 1 to 15 printable characters without blanks");
      },
      "SN");
  return check;
}

int main(int argc, char** argv) {
  CLI::App app{"vexabsl " VEXABSL_VERSION
               " - firmware updater for Norvane Devices field and laboratory instruments"};
  app.set_version_flag("--version", std::string("vexabsl ") + VEXABSL_VERSION);
  app.require_subcommand(0, 1);

  CommandRunner run;
  for (CommandSetup setup : kCommands) setup(app, run);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "vexabsl: %s (try 'vexabsl --help')\n", e.what());
    return kExitUsage;
  }
  if (!run) {
    std::fputs(app.help().c_str(), stdout);
    return kExitOk;
  }
  return run();
}
