#include "sim/radio_modem.h"

#include <vector>

RadioModem::RadioModem(RadioModemConfig config, LoggerConfig logger)
    : config_(std::move(config)),
      logger_([&logger] {
        logger.behindRadio = true;
        return logger;
      }()),
      commands_(config_.timing) {}

std::string RadioModem::StateName() const {
  return commands_.InCommandMode() ? "modem-command" : "modem-" + logger_.StateName();
}

bool RadioModem::OnLoggersChannel() const {
  return config_.channel == logger_.Config().radioChannel &&
         config_.subChannel == logger_.Config().radioSubChannel;
}

void RadioModem::Receive(const UartByte& byte, InstrumentIo& io) {
  std::vector<UartByte> air;
  commands_.Receive(byte, io, ModemValues{config_.channel, config_.subChannel, config_.version},
                    &air);
  for (const UartByte& sent : air) {
    if (OnLoggersChannel()) {
      logger_.Receive(sent, io);
    } else {
      ++lostBytes_;
    }
  }
}

nlohmann::json RadioModem::SaveState() const {
  nlohmann::json state;
  state["family"] = "radio";
  state["channel"] = config_.channel;
  state["subchannel"] = config_.subChannel;
  state["logger"] = logger_.SaveState();
  return state;
}

bool RadioModem::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "radio" || !state.contains("channel") ||
      !state["channel"].is_number_integer() || !state.contains("subchannel") ||
      !state["subchannel"].is_number_integer() || !state.contains("logger")) {
    *error = "not the state of a radio modem";
    return false;
  }
  if (!logger_.LoadState(state["logger"], error)) return false;
  config_.channel = state["channel"].get<int>();
  config_.subChannel = state["subchannel"].get<int>();
  return true;
}

void RadioModem::AddStats(nlohmann::json& stats) const {
  logger_.AddStats(stats);
  stats["modem"] = {{"channel", config_.channel},
                    {"subchannel", config_.subChannel},
                    {"escapes", commands_.Escapes()},
                    {"at_commands", commands_.AtCommands()},
                    {"lost_bytes", lostBytes_}};
}

bool RadioModem::DumpFlash(const std::string& path, std::string* error) const {
  return logger_.DumpFlash(path, error);
}
