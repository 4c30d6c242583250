#include "sim/resident_loader.h"

#include <cstdio>

namespace {

constexpr size_t kMaxLine = 600;  // a frame has at most 512 payload characters
constexpr uint32_t kVectorsAddress = 0xFFE0;
constexpr size_t kVectorCount = 16;
constexpr double kBlockBytes = 256.0;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `text` as a hex number; false when it is empty or holds anything else.
bool ParseHex(std::string_view text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t number = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return false;
    number = number << 4 | static_cast<uint32_t>(digit);
  }
  *value = number;
  return true;
}

// An address of four digits (below 0x10000) or five (extended addressing).
bool ParseAddress(std::string_view text, uint32_t* address) {
  return (text.size() == 4 || text.size() == 5) && ParseHex(text, address);
}

bool IsPrintable(uint8_t byte) {
  return byte >= 0x20 && byte < 0x7F;
}

}  // namespace

uint32_t LoaderChecksum(std::string_view letterAndPayload) {
  uint32_t sum = '.';
  for (char c : letterAndPayload) sum += static_cast<uint8_t>(c);
  return sum % 65535;
}

ResidentLoader::ResidentLoader(LoaderConfig config, FlashMemory& flash)
    : config_(config), flash_(flash) {}

void ResidentLoader::Start(State state) {
  state_ = state;
  line_.clear();
  lineOverflow_ = false;
  haveAddress_ = false;
  touchedApplication_ = false;
  topErased_ = false;
  sessionFaults_ = 0;
  ++sessions_;
}

void ResidentLoader::Answer(InstrumentIo& io, std::string_view text, DeviceWork work, double ms) {
  io.Reply(text, work, ms);
}

void ResidentLoader::Reject(InstrumentIo& io) {
  ++rejected_;
  Answer(io, "-\r", DeviceWork::kAnswer, config_.answerMs);
}

void ResidentLoader::CountFault() {
  ++ownCodeFaults_;
  ++sessionFaults_;
}

bool ResidentLoader::TouchesOwnCode(uint32_t start, uint32_t end) const {
  return start < config_.map.ownEnd && end > config_.map.ownStart;
}

ResidentLoader::Event ResidentLoader::Receive(const UartByte& byte, InstrumentIo& io) {
  // Bytes a wrong rate made (framing errors, bytes outside printable text) are line noise that
  // the loader drops, so a command line query at 9600 baud leaves it undisturbed.
  if (byte.framingError) return Event::kNone;
  const char c = static_cast<char>(byte.value);
  if (state_ == State::kWaiting) {
    if (c == '\r') {
      Answer(io, "$\r", DeviceWork::kAnswer, config_.answerMs);
    } else if (c == 'P') {
      state_ = State::kConnected;
      Answer(io, "#\r", DeviceWork::kAnswer, config_.answerMs);
    }
    return Event::kNone;
  }
  if (c == '\r') {
    if (line_.empty() && !lineOverflow_) {
      Answer(io, "?\r", DeviceWork::kAnswer, config_.answerMs);
      return Event::kNone;
    }
    const Event event = Frame(io);
    line_.clear();
    lineOverflow_ = false;
    return event;
  }
  if (!IsPrintable(byte.value)) return Event::kNone;
  // No frame starts with "P": a client that connects again is simply answered.
  if (c == 'P' && line_.empty()) {
    Answer(io, "#\r", DeviceWork::kAnswer, config_.answerMs);
    return Event::kNone;
  }
  if (line_.size() < kMaxLine) {
    line_.push_back(c);
  } else {
    lineOverflow_ = true;
  }
  return Event::kNone;
}

ResidentLoader::Event ResidentLoader::Frame(InstrumentIo& io) {
  const char letter = line_.empty() ? '\0' : line_[0];
  if (letter > 0 && static_cast<unsigned char>(letter) < frames_.size()) {
    ++frames_[static_cast<unsigned char>(letter)];
  }
  const size_t dot = line_.rfind('.');
  if (letter == 'g' && dot == std::string::npos && !lineOverflow_) {
    // A "g" line without any checksum is the firmware's "get -ver" typed at the loader: it is
    // answered like "g", and the "+" tells the updater that the loader runs, not the firmware.
    char answer[24];
    std::snprintf(answer, sizeof answer, "+%d+\r", config_.version);
    Answer(io, answer, DeviceWork::kAnswer, config_.answerMs);
    return Event::kNone;
  }
  uint32_t checksum = 0;
  if (lineOverflow_ || dot == std::string::npos || dot == 0 || line_.size() - dot != 5 ||
      !ParseHex(std::string_view(line_).substr(dot + 1), &checksum) ||
      checksum != LoaderChecksum(std::string_view(line_).substr(0, dot))) {
    Reject(io);
    return Event::kNone;
  }
  const std::string_view payload = std::string_view(line_).substr(1, dot - 1);
  switch (letter) {
    case 'g': {
      if (!payload.empty()) break;
      char answer[24];
      std::snprintf(answer, sizeof answer, "+%d+\r", config_.version);
      Answer(io, answer, DeviceWork::kAnswer, config_.answerMs);
      return Event::kNone;
    }
    case '@':
      if (!SetAddress(payload, io)) break;
      return Event::kNone;
    case 'X':
      Erase(payload, io);
      return Event::kNone;
    case 'W':
      return Write(payload, io);
    case 'V':
      return Vectors(payload, io);
    default:
      break;
  }
  Reject(io);
  return Event::kNone;
}

bool ResidentLoader::SetAddress(std::string_view payload, InstrumentIo& io) {
  uint32_t address;
  if (!ParseAddress(payload, &address)) return false;
  address_ = address;
  haveAddress_ = true;
  Answer(io, "+\r", DeviceWork::kAnswer, config_.answerMs);
  return true;
}

void ResidentLoader::Erase(std::string_view payload, InstrumentIo& io) {
  uint32_t address;
  if (!ParseAddress(payload, &address) || !flash_.Holds(address, 1)) {
    Reject(io);
    return;
  }
  if (TouchesOwnCode(address, address + 1)) {
    CountFault();
    Reject(io);
    return;
  }
  const LoaderMemoryMap& map = config_.map;
  const bool inMain = address >= map.main.start && address < map.main.end;
  double ms = config_.eraseMs;
  if (inMain && !topErased_) {
    // The vector segment goes with the first main-flash segment, so that the image's top
    // sections and the vectors land on erased flash.
    flash_.EraseRange(map.topStart, map.topEnd);
    topErased_ = true;
    ++segmentsErased_;
    ms += config_.eraseMs;
  }
  flash_.EraseSegment(address);
  ++segmentsErased_;
  if (inMain) touchedApplication_ = true;
  Answer(io, "+\r", DeviceWork::kErase, ms);
}

ResidentLoader::Event ResidentLoader::Write(std::string_view payload, InstrumentIo& io) {
  ++writeFrames_;
  // Image text: words of four hex digits, the byte at the higher address first.
  std::string bytes;
  bool wellFormed = !payload.empty() && payload.size() % 4 == 0;
  for (size_t i = 0; wellFormed && i < payload.size(); i += 4) {
    uint32_t word;
    wellFormed = ParseHex(payload.substr(i, 4), &word);
    bytes.push_back(static_cast<char>(word & 0xFF));
    bytes.push_back(static_cast<char>(word >> 8));
  }
  if (!wellFormed || !haveAddress_ || !flash_.Holds(address_, bytes.size())) {
    Reject(io);
    return Event::kNone;
  }
  const uint32_t end = address_ + static_cast<uint32_t>(bytes.size());
  if (TouchesOwnCode(address_, end)) {
    CountFault();
    Reject(io);
    return Event::kNone;
  }
  if (config_.rejectBlock != 0) {
    const bool isBlock = writeFrames_ == config_.rejectBlock;
    if (isBlock && !haveRejectAddress_) {
      haveRejectAddress_ = true;
      rejectAddress_ = address_;
    }
    const bool rejectNow = config_.rejectBlockAlways
                               ? haveRejectAddress_ && address_ == rejectAddress_
                               : isBlock && !rejectedOnce_;
    if (rejectNow) {
      rejectedOnce_ = true;
      Reject(io);
      return Event::kNone;
    }
  }
  const LoaderMemoryMap& map = config_.map;
  if (address_ >= map.main.start && address_ < map.main.end) touchedApplication_ = true;
  if (config_.powerLossBlock != 0 && writeFrames_ == config_.powerLossBlock) {
    // The power fails while the block is being programmed: half of it reaches the flash.
    const std::string_view half = std::string_view(bytes).substr(0, bytes.size() / 2);
    sessionFaults_ += flash_.Program(address_, half);
    bytesProgrammed_ += half.size();
    io.Work(DeviceWork::kProgram, config_.programMs * half.size() / kBlockBytes);
    return Event::kPowerLost;
  }
  sessionFaults_ += flash_.Program(address_, bytes);
  bytesProgrammed_ += bytes.size();
  address_ = end;  // the next block follows without a new address
  Answer(io, "+\r", DeviceWork::kProgram, config_.programMs * bytes.size() / kBlockBytes);
  return Event::kNone;
}

ResidentLoader::Event ResidentLoader::Vectors(std::string_view payload, InstrumentIo& io) {
  // Sixteen words of four hex digits each; five digits each is taken too, from a client that
  // formats every value with extended addressing.
  const size_t digits = payload.size() / kVectorCount;
  if (payload.size() % kVectorCount != 0 || (digits != 4 && digits != 5)) {
    Reject(io);
    return Event::kNone;
  }
  std::string bytes;
  for (size_t i = 0; i < kVectorCount; ++i) {
    uint32_t word;
    if (!ParseHex(payload.substr(i * digits, digits), &word) || word > 0xFFFF) {
      Reject(io);
      return Event::kNone;
    }
    bytes.push_back(static_cast<char>(word & 0xFF));
    bytes.push_back(static_cast<char>(word >> 8));
  }
  sessionFaults_ += flash_.Program(kVectorsAddress, bytes);
  bytesProgrammed_ += bytes.size();
  Answer(io, "+", DeviceWork::kProgram, config_.programMs * bytes.size() / kBlockBytes);
  return Event::kVectorsWritten;
}

void ResidentLoader::AddStats(nlohmann::json& stats) const {
  nlohmann::json frames = nlohmann::json::object();
  for (size_t letter = 0; letter < frames_.size(); ++letter) {
    if (frames_[letter]) frames[std::string(1, static_cast<char>(letter))] = frames_[letter];
  }
  stats["frames"] = frames;
  stats["rejected_frames"] = rejected_;
  stats["flash_faults"] = flash_.FaultCount() + ownCodeFaults_;
  stats["loader_code_faults"] = ownCodeFaults_;
  stats["bytes_programmed"] = bytesProgrammed_;
  stats["segments_erased"] = segmentsErased_;
  stats["loader_sessions"] = sessions_;
}
