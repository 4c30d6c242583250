// The instruments' resident bootstrap loader, VexaBSL, as the instrument runs it: it waits for a
// connection at its own baud rate, then obeys checked frames that erase flash, set an address,
// write image-text blocks and finally write the interrupt vectors, after which the instrument
// restarts into the new firmware. Families differ only in the rate and the memory map, given in
// LoaderConfig.
//
// On the wire (each answer is sent at the loader's rate):
//   carriage return  -> "$\r" while waiting for a connection, "?\r" once connected
//   "P"              -> "#\r": connected
//   frames           -> letter, payload, "." and four hex digits of 46 plus the character codes
//                       of letter and payload modulo 65535, carriage return; answered "+\r"
//                       (accepted) or "-\r" (rejected); "g" is answered "+<version>+\r" and "V"
//                       with a single "+".
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "sim/flash_memory.h"
#include "sim/instrument.h"

// Where the loader may erase and write.
struct LoaderMemoryMap {
  FlashRegion info;  // information memory (small segments)
  FlashRegion main;  // main flash
  // The loader's own code inside main flash: frames that would erase or write it are refused
  // and counted as flash faults.
  uint32_t ownStart = 0;
  uint32_t ownEnd = 0;
  // The segment that holds the interrupt vectors: the client never erases it, so the loader
  // erases it itself together with the first main-flash segment of a session.
  uint32_t topStart = 0;
  uint32_t topEnd = 0;
};

struct LoaderConfig {
  uint32_t baud = 57600;
  int version = 2;  // answered to "g"
  LoaderMemoryMap map;
  double answerMs = 0;   // the loader's time to answer a frame
  double eraseMs = 0;    // erasing one segment
  double programMs = 0;  // programming a 256-byte block (shorter writes take their share)
  // Faults: the K-th "W" frame since the simulator started is rejected once, or that block's
  // address is rejected always; or power fails halfway through the K-th "W" frame.
  uint32_t rejectBlock = 0;
  bool rejectBlockAlways = false;
  uint32_t powerLossBlock = 0;
};

class ResidentLoader {
 public:
  enum class State { kWaiting, kConnected };
  enum class Event { kNone, kVectorsWritten, kPowerLost };

  ResidentLoader(LoaderConfig config, FlashMemory& flash);

  const LoaderConfig& Config() const { return config_; }
  State GetState() const { return state_; }

  // Starts a loader session (after the boot command or at power-up).
  void Start(State state);
  // One received byte. Tells the instrument when the vectors were written (it restarts) or the
  // power failed.
  Event Receive(const UartByte& byte, InstrumentIo& io);

  // True once this session erased or wrote main flash: the application is no longer whole.
  bool SessionTouchedApplication() const { return touchedApplication_; }
  // Flash faults made in this session.
  uint32_t SessionFaults() const { return sessionFaults_; }

  void AddStats(nlohmann::json& stats) const;

 private:
  Event Frame(InstrumentIo& io);
  void Answer(InstrumentIo& io, std::string_view text, DeviceWork work, double ms);
  void Reject(InstrumentIo& io);
  bool SetAddress(std::string_view payload, InstrumentIo& io);
  void Erase(std::string_view payload, InstrumentIo& io);
  Event Write(std::string_view payload, InstrumentIo& io);
  Event Vectors(std::string_view payload, InstrumentIo& io);
  bool TouchesOwnCode(uint32_t start, uint32_t end) const;
  void CountFault();

  LoaderConfig config_;
  FlashMemory& flash_;
  State state_ = State::kWaiting;
  std::string line_;
  bool lineOverflow_ = false;
  bool haveAddress_ = false;
  uint32_t address_ = 0;
  bool touchedApplication_ = false;
  bool topErased_ = false;
  uint32_t sessionFaults_ = 0;
  uint32_t writeFrames_ = 0;
  bool rejectedOnce_ = false;
  bool haveRejectAddress_ = false;
  uint32_t rejectAddress_ = 0;

  // Statistics over the whole run.
  std::array<uint32_t, 128> frames_ = {};
  uint32_t rejected_ = 0;
  uint32_t ownCodeFaults_ = 0;
  uint64_t bytesProgrammed_ = 0;
  uint32_t segmentsErased_ = 0;
  uint32_t sessions_ = 0;
};

// 46 (the period) plus the character codes of the letter and the payload, modulo 65535.
uint32_t LoaderChecksum(std::string_view letterAndPayload);
