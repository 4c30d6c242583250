#include "cli/instrument_link.h"

#include <cstdio>

#include "app/product.h"
#include "app/progress_event.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "instrument/radio_login.h"
#include "instrument/session.h"
#include "link/port_advice.h"
#include "session/connection.h"

namespace {

bool ShowProgress(void* context, uint32_t total, uint32_t done, int phase) {
  ProgressLine* line = static_cast<ProgressLine*>(context);
  if (phase == progress_phase::kWorking) {
    line->bar.Show(line->label, PercentOf(done, total), done, total, line->unit);
  } else if (phase == progress_phase::kFinished) {
    line->bar.End();
  }
  return !StopRequested();
}

// The error file the arguments name (or the default one).
std::string LogPathOf(const InstrumentArgs& args) {
  return args.log.empty() ? ErrorFilePath() : args.log;
}

uint8_t BaudCodeOf(uint32_t baud) {
  for (uint8_t code = 1; code < kBaudCodeCount; ++code) {
    if (BaudOfCode(code) == baud) return code;
  }
  return 0;
}

}  // namespace

void AddInstrumentOptions(CLI::App* command, InstrumentArgs& args) {
  command->add_option("--port", args.port, "Serial port: ttyUSB0, or a device path")->required();
  command->add_option("--baud", args.baud, "Rate to agree on after connecting at 9600")
      ->capture_default_str();
  CLI::Option* radio =
      command->add_flag("--radio", args.radio, "Reach the instrument through a radio modem");
  command->add_option("--name", args.name, "Radio: the instrument to log into")->needs(radio);
  CLI::Option* channel =
      command->add_option("--channel", args.channel, "Radio: set the modem's channel first")
          ->check(CLI::Range(0, 6))
          ->needs(radio);
  CLI::Option* subChannel =
      command->add_option("--subchannel", args.subChannel, "Radio: the modem's sub-channel")
          ->check(CLI::Range(0, 65535))
          ->needs(radio);
  channel->needs(subChannel);
  subChannel->needs(channel);
  command->add_option("--log", args.log, "Error file (default: in the data folder)")
      ->check(FileToWrite());
  command->add_flag("--verbose", args.verbose, "Log every byte on the wire");
}

InstrumentSession::InstrumentSession(const InstrumentArgs& args)
    : args_(args),
      logPath_(LogPathOf(args)),
      log_(logPath_.c_str(), args.verbose ? 40 : 30),
      session_(&log_) {
  DeviceContext& device = session_.device;
  device.options.progressEnabled = 1;
  device.progressHook = ShowProgress;
  device.progressContext = &progress_;
  StopOnInterrupt();
}

InstrumentSession::~InstrumentSession() {
  DisconnectDevice(&session_.device, false);
}

int InstrumentSession::Failed(const char* what, int32_t code) const {
  std::fprintf(stderr, "Log: %s\n", logPath_.c_str());
  return ReportFailure(what, code);
}

int InstrumentSession::Connect() {
  const InstrumentArgs& args = args_;
  DeviceContext* device = &session_.device;
  const uint8_t baudCode = BaudCodeOf(args.baud);
  if (baudCode == 0) {
    std::fprintf(stderr, "vexabsl: --baud %u is not a rate of the instruments\n", args.baud);
    return kExitUsage;
  }
  const int32_t nameCheck = args.name.empty() ? kResultOk : CheckDeviceName(args.name.c_str());
  if (nameCheck != kResultOk) {
    std::fprintf(stderr, "vexabsl: --name %s is not an instrument name (error %d: %s)\n",
                 args.name.c_str(), nameCheck, ResultText(nameCheck));
    return kExitUsage;
  }
  if (args.port.size() > kPortNameSize) {
    std::fprintf(stderr, "vexabsl: --port is longer than %u characters\n", kPortNameSize);
    return kExitUsage;
  }
  if (device->status < 0) return ReportFailure("connecting", device->status);

  ConnectionRequest request;
  std::snprintf(request.portName, sizeof request.portName, "%s", args.port.c_str());
  request.linkKind = args.radio ? link_kind::kRadio : link_kind::kSerial;
  request.baudCode = args.radio ? kBaudCode9600 : baudCode;
  std::snprintf(request.deviceName, sizeof request.deviceName, "%s", args.name.c_str());
  if (args.channel >= 0) {
    request.configureRadioModem = 1;
    request.radioChannel = args.channel;
    request.radioSubChannel = args.subChannel;
  }
  const int32_t result = ConnectDevice(device, &request);
  if (result >= 0) return kExitOk;
  if (result == kErrLoaderRunning || result == kErrLoaderWaiting) {
    std::fprintf(stderr,
                 "The instrument runs its bootstrap loader, not its firmware "
                 "(vexabsl flash can program it)\n");
  }
  std::fputs(PortOpenAdvice(args.port.c_str(), result).c_str(), stderr);
  return Failed("connecting", result);
}

int32_t LogInWhereNeeded(SessionContext& session) {
  if (!session.descriptor.needsLogin) return kResultOk;
  const int32_t login = DPLogin(&session);
  if (login < 0) DPLogout(&session, false);
  return login;
}
