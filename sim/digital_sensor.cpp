#include "sim/digital_sensor.h"

#include <cctype>

namespace {

constexpr size_t kMaxCalibration = 511;
constexpr size_t kMaxSerial = 32;

// The sensor's microcontroller: information memory, 32 KiB of main flash with the loader's own
// code below the vector segment; its loader runs at the reader's 9600 baud.
constexpr FlashRegion kSensorInfo = {0x1000, 0x10C0, 0x40};
constexpr FlashRegion kSensorMain = {0x8000, 0x10000, 0x200};

LoaderConfig SensorLoader() {
  LoaderConfig loader;
  loader.baud = 9600;
  loader.version = 2;
  loader.map.info = kSensorInfo;
  loader.map.main = kSensorMain;
  loader.map.ownStart = 0xFA00;
  loader.map.ownEnd = 0xFE00;
  loader.map.topStart = 0xFE00;
  loader.map.topEnd = 0x10000;
  loader.answerMs = 2;
  loader.eraseMs = 30;
  loader.programMs = 15;
  return loader;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A type as "?X9 T!" sets it: one letter, or a number from 1 to 254.
bool ValidType(const std::string& type) {
  if (type.size() == 1 && !std::isdigit(static_cast<unsigned char>(type[0]))) {
    return type[0] > ' ' && type[0] < 127;
  }
  if (type.empty() || type.size() > 3) return false;
  for (char c : type) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  const int value = std::stoi(type);
  return value > 0 && value < 255;
}

}  // namespace

bool DigitalSensorConfig::TakeFaults(FaultList& faults, std::string* error) {
  faults.TakeCount("sensor-miss", &missEvery, error);
  codeCorrupt = faults.TakeFlag("sensor-corrupt") || codeCorrupt;
  if (faults.TakeFlag("sensor-no-bsl")) hasLoader = false;
  return error->empty();
}

DigitalSensor::DigitalSensor(DigitalSensorConfig config)
    : config_(std::move(config)),
      address_(config_.address),
      type_(config_.type),
      serial_(config_.serial),
      x4_(config_.x4),
      xa_(config_.xa),
      xo_(config_.xo),
      version_(config_.version),
      flash_({kSensorInfo, kSensorMain}),
      loader_(SensorLoader(), flash_) {}

std::string DigitalSensor::Line(const std::string& text) const {
  return std::string(1, address_) + text + "\r\n";
}

std::optional<std::string> DigitalSensor::Command(const std::string& command) {
  if (inLoader_ || command.size() < 2 || command.back() != '!') return std::nullopt;
  if (command[0] != '?' && command[0] != address_) return std::nullopt;
  ++commands_;
  if (config_.missEvery > 0 && commands_ % config_.missEvery == 0) {
    ++missed_;
    return std::nullopt;
  }
  std::string answer = Answer(command.substr(1, command.size() - 2));
  if (answer.empty()) return std::nullopt;
  return answer;
}

std::string DigitalSensor::Answer(const std::string& body) {
  if (body.empty()) return Line("");
  if (body == "I") {
    std::string model = config_.model;
    model.resize(6, ' ');
    return Line("13NORVANE " + model + version_);
  }
  if (body.size() == 2 && body[0] == 'A') {
    // "aAb!": the new address answers.
    if (!std::isalnum(static_cast<unsigned char>(body[1]))) return "";
    address_ = body[1];
    ++sets_;
    return Line("");
  }
  if (body == "X8") return Line(type_);
  if (StartsWith(body, "X9 ")) {
    const std::string type = body.substr(3);
    if (!ValidType(type)) return Line("ERROR");
    type_ = type;
    ++sets_;
    return Line("OK");
  }
  if (body == "X#") return Line(serial_);
  if (StartsWith(body, "X#")) {
    if (body.size() - 2 > kMaxSerial) return Line("ERROR");
    serial_ = body.substr(2);
    ++sets_;
    return Line("OK");
  }
  if (body == "X4") return Line(" " + x4_);
  if (body == "Xa") return Line(" " + xa_);
  if (body == "XO") return xo_.empty() ? Line("ERROR") : Line(" " + xo_);
  std::string* target = nullptr;
  if (StartsWith(body, "X5")) target = &x4_;
  if (StartsWith(body, "Xb")) target = &xa_;
  if (StartsWith(body, "XO")) target = &xo_;
  if (target) {
    const std::string value = body.substr(2);
    if (value.empty() || value.size() > kMaxCalibration) return Line("ERROR");
    *target = value;
    ++sets_;
    return Line("OK");
  }
  if (body == "post") {
    return Line(config_.codeCorrupt || firmwareCorrupt_ ? "Code Corrupt" : "Code Good");
  }
  if (body == "B") {
    if (!config_.hasLoader) return Line("No BSL");
    inLoader_ = true;  // it jumps into its loader without a word
    loader_.Start(ResidentLoader::State::kWaiting);
    return "";
  }
  return "";  // SDI-12 sensors ignore what they do not know
}

void DigitalSensor::LoaderByte(const UartByte& byte, InstrumentIo& io) {
  if (!inLoader_) return;
  if (loader_.Receive(byte, io) == ResidentLoader::Event::kVectorsWritten) {
    UploadFinished();
  } else if (loader_.SessionTouchedApplication()) {
    applicationIntact_ = false;
  }
}

void DigitalSensor::PowerLost() {
  ++powerLosses_;
  if (applicationIntact_) {
    inLoader_ = false;  // a loader that had only started leaves the firmware as it was
    return;
  }
  inLoader_ = true;
  loader_.Start(ResidentLoader::State::kWaiting);
}

void DigitalSensor::UploadFinished() {
  // New firmware starts from the information memory the upload erased: factory settings.
  ++uploads_;
  firmwareCorrupt_ = loader_.SessionFaults() > 0;
  applicationIntact_ = true;
  version_ = config_.imageVersion;
  address_ = '0';
  type_ = config_.type;
  serial_.clear();
  x4_.clear();
  xa_.clear();
  xo_.clear();
  inLoader_ = false;
}

nlohmann::json DigitalSensor::Stats() const {
  nlohmann::json stats = {
      {"address", std::string(1, address_)},
      {"type", type_},
      {"serial", serial_},
      {"x4", x4_},
      {"xa", xa_},
      {"xo", xo_},
      {"in_loader", inLoader_},
      {"commands", commands_},
      {"missed", missed_},
      {"sets", sets_},
      {"version", version_},
      {"uploads", uploads_},
      {"power_losses", powerLosses_},
  };
  nlohmann::json loader;
  loader_.AddStats(loader);
  stats["loader"] = loader;
  return stats;
}
