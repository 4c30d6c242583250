#include "sim/fieldpal.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr uint32_t kCommandLineBaud = 9600;
constexpr int kStateFormat = 1;

// The instrument's codes for "set -baud".

// The FieldPal's flash: information memory, then main flash with the loader's own code and
// the vector segment at the top of the first 64 KiB.
constexpr FlashRegion kInfoMemory = {0x1000, 0x10C0, 0x40};
constexpr FlashRegion kMainFlash = {0x2100, 0x20000, 0x200};
constexpr uint32_t kLoaderCodeStart = 0xFA00;
constexpr uint32_t kVectorSegment = 0xFE00;
constexpr uint32_t kResetVector = 0xFFFE;

// The reader's relay bytes, and the longest SDI-12 command it collects (a calibration string of
// 511 characters and the command around it).
constexpr char kRelayStart = '[';
constexpr char kRelayLoader = ']';
constexpr char kRelayEnd = '`';
constexpr char kBusBreak = '|';
constexpr size_t kMaxSdiCommand = 520;

// Deterministic filler standing in for the code of the firmware that left the factory.
std::string ShippedCode(uint32_t seed, size_t count) {
  std::string bytes;
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes.push_back(static_cast<char>(state >> 8));
  }
  return bytes;
}

void PreloadShippedFlash(FlashMemory& flash) {
  flash.Preload(0x1000, ShippedCode(1, 0x80));     // factory calibration data
  flash.Preload(0x2400, ShippedCode(2, 0xB000));   // application code
  flash.Preload(0x10000, ShippedCode(3, 0x4800));  // application code above 64 KiB
  flash.Preload(kLoaderCodeStart, ShippedCode(4, kVectorSegment - kLoaderCodeStart));
  std::string vectors;
  for (int i = 0; i < 16; ++i) {
    const uint32_t word = i == 15 ? 0x2400 : 0x2400 + 0x40u * static_cast<uint32_t>(i + 1);
    vectors.push_back(static_cast<char>(word & 0xFF));
    vectors.push_back(static_cast<char>(word >> 8));
  }
  flash.Preload(0xFFE0, vectors);
}

}  // namespace

LoaderConfig FieldPalConfig::DefaultLoader() {
  LoaderConfig loader;
  loader.baud = 57600;
  loader.version = 2;
  loader.map.info = kInfoMemory;
  loader.map.main = kMainFlash;
  loader.map.ownStart = kLoaderCodeStart;
  loader.map.ownEnd = kVectorSegment;
  loader.map.topStart = kVectorSegment;
  loader.map.topEnd = 0x10000;
  loader.answerMs = 2;
  loader.eraseMs = 30;
  loader.programMs = 15;
  return loader;
}

bool FieldPalConfig::TakeFaults(FaultList& faults, std::string* error) {
  noLoader = faults.TakeFlag("no-loader") || noLoader;
  loaderRunning = faults.TakeFlag("loader-running") || loaderRunning;
  loaderWaiting = faults.TakeFlag("loader-waiting") || loaderWaiting;
  codeCorrupt = faults.TakeFlag("code-corrupt") || codeCorrupt;
  dataFlashFail = faults.TakeFlag("dataflash-fail") || dataFlashFail;
  if (!sensor.TakeFaults(faults, error)) return false;
  if (faults.TakeFlag("low-battery")) battery = 5;
  if (faults.TakeFlag("wrong-hver")) hardwareRevision = "B";
  if (faults.TakeCount("reject-block-always", &loader.rejectBlock, error)) {
    loader.rejectBlockAlways = true;
  }
  faults.TakeCount("reject-block", &loader.rejectBlock, error);
  faults.TakeCount("power-loss", &loader.powerLossBlock, error);
  return error->empty();
}

FieldPal::FieldPal(FieldPalConfig config)
    : config_(std::move(config)),
      flash_({kInfoMemory, kMainFlash}),
      loader_(config_.loader, flash_),
      settings_(config_.factoryReset ? FieldPalSettings::Factory() : config_.settings),
      firmwareVersion_(config_.version),
      login_(config_.typeWord) {
  PreloadShippedFlash(flash_);
  if (config_.sensorAttached) sensor_.emplace(config_.sensor);
  if (config_.loaderWaiting) StartLoader(ResidentLoader::State::kWaiting);
  if (config_.loaderRunning) StartLoader(ResidentLoader::State::kConnected);
}

uint32_t FieldPal::Baud() const {
  return mode_ == Mode::kLoader ? loader_.Config().baud : commandBaud_;
}

std::string FieldPal::StateName() const {
  switch (mode_) {
    case Mode::kFirmware:
      return "firmware";
    case Mode::kLoader:
      return loader_.GetState() == ResidentLoader::State::kWaiting ? "loader-waiting"
                                                                   : "loader-connected";
    case Mode::kRestarting:
      return "restarting";
    case Mode::kOff:
      return "off";
  }
  return "?";
}

void FieldPal::StartFirmware() {
  mode_ = Mode::kFirmware;
  commandBaud_ = kCommandLineBaud;
  reader_.Clear();
  relay_ = Relay::kOff;  // a restarted reader starts at its command line
  login_.Forget();
}

void FieldPal::StartLoader(ResidentLoader::State state) {
  mode_ = Mode::kLoader;
  loader_.Start(state);
}

void FieldPal::PowerUp() {
  // Without a whole application, or without a reset vector, the microcontroller stays in its
  // loader.
  const bool resetVectorErased =
      flash_.Read(kResetVector) == 0xFF && flash_.Read(kResetVector + 1) == 0xFF;
  if (!applicationIntact_ || resetVectorErased) {
    StartLoader(ResidentLoader::State::kWaiting);
  } else {
    StartFirmware();
  }
}

void FieldPal::Receive(const UartByte& byte, InstrumentIo& io) {
  switch (mode_) {
    case Mode::kRestarting:
    case Mode::kOff:
      return;
    case Mode::kLoader:
      switch (loader_.Receive(byte, io)) {
        case ResidentLoader::Event::kVectorsWritten:
          UploadFinished(io);
          break;
        case ResidentLoader::Event::kPowerLost:
          applicationIntact_ = false;  // half a block reached the flash
          PowerLost(io);
          break;
        case ResidentLoader::Event::kNone:
          if (loader_.SessionTouchedApplication()) applicationIntact_ = false;
          break;
      }
      return;
    case Mode::kFirmware:
      break;
  }
  const char relayByte = static_cast<char>(byte.value);
  if (!byte.framingError &&
      (relay_ != Relay::kOff || relayByte == kRelayStart || relayByte == kRelayLoader)) {
    RelayByte(byte, io);
    return;
  }
  std::string line;
  switch (reader_.Take(byte, io.NowMs(), &line)) {
    case CommandLineReader::Result::kNothing:
      return;
    case CommandLineReader::Result::kNoise:
    case CommandLineReader::Result::kTooLong:
      // Line noise, as a wrong baud rate makes it, is refused at once.
      Refuse(io);
      return;
    case CommandLineReader::Result::kLine:
      RunCommand(line, io);
      return;
  }
}

void FieldPal::RelayByte(const UartByte& byte, InstrumentIo& io) {
  const char c = static_cast<char>(byte.value);
  if (relay_ == Relay::kOff || c == kRelayEnd) {
    // Entering or leaving the relay drops what the command line had collected.
    reader_.Clear();
    sdiCommand_.clear();
    if (c == kRelayEnd) {
      relay_ = Relay::kOff;
      return;
    }
    ++relays_;
    relay_ = c == kRelayLoader ? Relay::kSensorLoader : Relay::kSdi12;
    return;
  }
  if (relay_ == Relay::kSensorLoader) {
    // "[" never occurs in a loader frame: it brings the relay back to SDI-12, as after an
    // upload, when the sensor's new firmware is to be asked.
    if (c == kRelayStart) {
      relay_ = Relay::kSdi12;
      sdiCommand_.clear();
      return;
    }
    if (sensor_) sensor_->LoaderByte(byte, io);
    return;
  }
  if (c == kRelayLoader) {
    relay_ = Relay::kSensorLoader;
    sdiCommand_.clear();
    return;
  }
  if (c == kBusBreak || c == kRelayStart) {
    sdiCommand_.clear();  // a break ends whatever was half sent
    return;
  }
  sdiCommand_.push_back(c);
  if (sdiCommand_.size() > kMaxSdiCommand) sdiCommand_.clear();
  if (c != '!') return;
  const std::string command = std::move(sdiCommand_);
  sdiCommand_.clear();
  if (!sensor_) return;
  if (const std::optional<std::string> answer = sensor_->Command(command)) {
    io.Reply(*answer, DeviceWork::kAnswer, sensor_->AnswerMs());
  }
}

void FieldPal::UploadFinished(InstrumentIo& io) {
  // The new firmware starts with its own version and with factory settings, as an upload
  // leaves them; a self-test finds the faults the upload made.
  ++restarts_;
  applicationIntact_ = true;
  firmwareCorrupt_ = loader_.SessionFaults() > 0;
  firmwareVersion_ = config_.imageVersion;
  settings_ = FieldPalSettings::Factory();
  mode_ = Mode::kRestarting;
  io.WakeAfter(DeviceWork::kRestart, config_.restartMs, kRestarted);
}

void FieldPal::CutPower(InstrumentIo& io) {
  if (mode_ == Mode::kOff) return;
  // What the loader did to the application before the cut is already recorded
  // (applicationIntact_), and a restart under way had written the vectors: the power-up rules
  // decide where the instrument comes back.
  PowerLost(io);
}

void FieldPal::PowerLost(InstrumentIo& io) {
  ++powerLosses_;
  mode_ = Mode::kOff;
  relay_ = Relay::kOff;
  if (sensor_) sensor_->PowerLost();  // the reader powers its sensor
  if (config_.powerOffMs > 0) io.WakeAfter(DeviceWork::kPoweredOff, config_.powerOffMs, kPowerBack);
}

void FieldPal::Wake(int token, InstrumentIo&) {
  if ((token == kRestarted && mode_ == Mode::kRestarting) ||
      (token == kPowerBack && mode_ == Mode::kOff)) {
    PowerUp();
  }
}

void FieldPal::Say(InstrumentIo& io, std::string_view text) {
  io.Reply(AnswerText(text), DeviceWork::kAnswer, config_.answerMs);
}

void FieldPal::Refuse(InstrumentIo& io) {
  ++refusals_;
  Say(io, kRefusal);
}

void FieldPal::RunCommand(const std::string& line, InstrumentIo& io) {
  const Command command = ParseCommand(line);
  if (command.verb.empty()) {
    io.Reply("\r>", DeviceWork::kAnswer, config_.answerMs);  // an empty line: the prompt again
    return;
  }
  ++commands_;
  const std::string& verb = command.verb;
  if (const std::optional<std::string_view> answer = login_.Take(command)) {
    if (*answer == kRefusal) ++refusals_;
    Say(io, *answer);
  } else if (!login_.Admits(command)) {
    Refuse(io);  // a family that needs a login, not logged in
  } else if (verb == "get") {
    Get(command, io);
  } else if (verb == "set") {
    Set(command, io);
  } else if (verb == "post" && (command.option.empty() || command.option == "-init") &&
             command.value.empty()) {
    const bool corrupt = config_.codeCorrupt || firmwareCorrupt_;
    Say(io, corrupt ? "Code Corrupt!" : "Code Good!");
  } else if (verb == "yes" && command.option.empty() && command.value.empty()) {
    if (config_.dataFlashFail) {
      io.Reply(AnswerText("DataFlash FAIL"), DeviceWork::kDataErase, config_.dataEraseMs);
    } else {
      ++dataErases_;
      storedReadings_ = 0;
      io.Reply(AnswerText("OK"), DeviceWork::kDataErase, config_.dataEraseMs);
    }
  } else if (verb == "login" || (verb == "logout" && command.option.empty())) {
    Say(io, "OK");
  } else if (verb == "time" && command.option.empty() && command.value.empty()) {
    Say(io, "Date\\Time: " + clock_.Text());
  } else if (verb == "boot") {
    Boot(command, io);
  } else {
    Refuse(io);
  }
}

void FieldPal::Boot(const Command& command, InstrumentIo& io) {
  if (!command.option.empty() || command.value != "KWEL") {
    Refuse(io);
    return;
  }
  if (config_.noLoader) {
    Say(io, "VexaBSL MISSING");
    return;
  }
  // The answer leaves at 9600 baud; the loader then listens at its own rate.
  Say(io, "OK");
  StartLoader(ResidentLoader::State::kWaiting);
}

void FieldPal::Get(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  const bool bare = command.value.empty();
  if (option == "-ver" && bare) {
    Say(io, config_.typeWord + " " + firmwareVersion_);
  } else if (option == "-hver" && bare) {
    Say(io, config_.hardwareRevision);
  } else if (option == "-batt" && bare) {
    Say(io, std::to_string(config_.battery));
  } else if (option == "-i" && bare) {
    Say(io, settings_.name);
  } else if (option == "-sn" && bare) {
    Say(io, settings_.serial);
  } else if (option == "-contr" && bare) {
    Say(io, std::to_string(settings_.contrast));
  } else if (option == "-adc15" && bare) {
    Say(io, settings_.adc15);
  } else if (option == "-adc30" && bare) {
    Say(io, settings_.adc30);
  } else if (option == "-cal" && command.words.size() == 1) {
    long entry;
    if (!ParseNumber(command.words[0], &entry) || entry < 0 ||
        entry >= static_cast<long>(FieldPalSettings::kCalEntries)) {
      Refuse(io);
      return;
    }
    Say(io, settings_.cal[static_cast<size_t>(entry)]);  // an empty entry: the bare prompt
  } else if (option == "-sec" && bare) {
    Say(io, std::to_string(clock_.Now()));
  } else if (option == "-t" && bare) {
    Say(io, clock_.Text());
  } else {
    Refuse(io);
  }
}

void FieldPal::Set(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  const std::string& value = command.value;
  long number = 0;
  if (option == "-i" && command.words.size() <= 1 && value.size() <= FieldPalSettings::kNameSize) {
    settings_.name = value;
  } else if (option == "-sn" && value.size() <= FieldPalSettings::kSerialSize) {
    settings_.serial = value;
  } else if (option == "-contr" && ParseNumber(value, &number) && number >= 0 && number <= 255) {
    settings_.contrast = number;
  } else if ((option == "-adc15" || option == "-adc30") &&
             value.size() <= FieldPalSettings::kTextSize) {
    (option == "-adc15" ? settings_.adc15 : settings_.adc30) = value;
  } else if (option == "-cal" && !command.words.empty() && ParseNumber(command.words[0], &number) &&
             number >= 0 && number < static_cast<long>(FieldPalSettings::kCalEntries)) {
    // "set -cal N text" stores the text, "set -cal N" clears the entry.
    const size_t blank = value.find(' ');
    const std::string text = blank == std::string::npos ? "" : value.substr(blank + 1);
    if (text.size() > FieldPalSettings::kTextSize) {
      Refuse(io);
      return;
    }
    settings_.cal[static_cast<size_t>(number)] = text;
  } else if (option == "-sec" && ParseNumber(value, &number) && number >= 0) {
    clock_.Set(number);
  } else if (option == "-t") {
    int hour, minute, second, used = 0;
    if (std::sscanf(value.c_str(), "%d:%d:%d%n", &hour, &minute, &second, &used) != 3 ||
        used != static_cast<int>(value.size()) || !clock_.SetTimeOfDay(hour, minute, second)) {
      Refuse(io);
      return;
    }
  } else if (option == "-d") {
    int year, month, day, used = 0;
    if (std::sscanf(value.c_str(), "%d-%d-%d%n", &year, &month, &day, &used) != 3 ||
        used != static_cast<int>(value.size()) || !clock_.SetDate(year, month, day)) {
      Refuse(io);
      return;
    }
  } else if (option == "-baud" && ParseNumber(value, &number) && number >= 0 &&
             number < static_cast<long>(std::size(kBaudCodes))) {
    // The OK still leaves at the old rate; the next command is heard at the new one.
    Say(io, "OK");
    commandBaud_ = kBaudCodes[number];
    return;
  } else {
    Refuse(io);
    return;
  }
  Say(io, "OK");
}

nlohmann::json FieldPal::SaveState() const {
  nlohmann::json state;
  state["family"] = "fieldpal";
  state["format"] = kStateFormat;
  state["mode"] = mode_ == Mode::kLoader ? "loader" : mode_ == Mode::kOff ? "off" : "firmware";
  state["firmware_version"] = firmwareVersion_;
  state["application_intact"] = applicationIntact_;
  state["firmware_corrupt"] = firmwareCorrupt_;
  state["settings"] = settings_.ToJson();
  state["stored_readings"] = storedReadings_;
  state["clock_offset"] = clock_.Offset();
  state["flash"] = flash_.Save();
  return state;
}

bool FieldPal::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "fieldpal") {
    *error = "not the state of a FieldPal";
    return false;
  }
  if (state.value("format", 0) != kStateFormat) {
    *error = "unknown state format";
    return false;
  }
  const std::string mode = state.value("mode", "");
  if (mode != "firmware" && mode != "loader" && mode != "off") {
    *error = "unknown mode \"" + mode + "\"";
    return false;
  }
  if (!state.contains("firmware_version") || !state["firmware_version"].is_string() ||
      !state.contains("application_intact") || !state["application_intact"].is_boolean() ||
      !state.contains("firmware_corrupt") || !state["firmware_corrupt"].is_boolean() ||
      !state.contains("stored_readings") || !state["stored_readings"].is_number_unsigned() ||
      !state.contains("clock_offset") || !state["clock_offset"].is_number_integer() ||
      !state.contains("settings") || !state.contains("flash")) {
    *error = "a state item is missing or of the wrong kind";
    return false;
  }
  FieldPalSettings settings;
  if (!FieldPalSettings::FromJson(state["settings"], &settings, error)) return false;
  if (!flash_.Load(state["flash"], error)) return false;
  settings_ = config_.factoryReset ? FieldPalSettings::Factory() : settings;
  firmwareVersion_ = state["firmware_version"].get<std::string>();
  applicationIntact_ = state["application_intact"].get<bool>();
  firmwareCorrupt_ = state["firmware_corrupt"].get<bool>();
  storedReadings_ = state["stored_readings"].get<uint64_t>();
  clock_.SetOffset(state["clock_offset"].get<int64_t>());
  // The instrument stayed powered in its loader (a connection does not outlive the run), or
  // comes back from a power loss.
  if (mode == "loader") {
    StartLoader(ResidentLoader::State::kWaiting);
  } else {
    PowerUp();
  }
  if (config_.loaderWaiting) StartLoader(ResidentLoader::State::kWaiting);
  if (config_.loaderRunning) StartLoader(ResidentLoader::State::kConnected);
  return true;
}

void FieldPal::AddStats(nlohmann::json& stats) const {
  loader_.AddStats(stats);
  stats["commands"] = commands_;
  stats["refusals"] = refusals_;
  stats["data_erases"] = dataErases_;
  stats["restarts"] = restarts_;
  stats["power_losses"] = powerLosses_;
  stats["firmware_version"] = firmwareVersion_;
  stats["state"] = StateName();
  stats["relays"] = relays_;
  if (sensor_) stats["sensor"] = sensor_->Stats();
}

bool FieldPal::DumpFlash(const std::string& path, std::string* error) const {
  return flash_.WriteTiText(path, error);
}
