// The flash of an instrument's microcontroller: erased bytes read 0xFF, erasing works on whole
// segments, and programming can only clear bits. Programming a byte that would need a bit set
// again (memory that was not erased) cannot work on real flash: the byte ends up as old AND new
// and the attempt is recorded as a fault for the tests and the statistics, never a crash.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

// One area of flash. Segments lie on multiples of `segmentSize`, clipped to the area.
struct FlashRegion {
  uint32_t start = 0;  // first address
  uint32_t end = 0;    // one past the last address
  uint32_t segmentSize = 512;
};

struct FlashFault {
  uint32_t address = 0;
  uint8_t had = 0;     // the byte in flash
  uint8_t wanted = 0;  // the byte that was programmed
};

class FlashMemory {
 public:
  explicit FlashMemory(std::vector<FlashRegion> regions);

  // True when [address, address + count) lies inside one region.
  bool Holds(uint32_t address, size_t count) const;

  // Erases the segment that holds `address`; false when the address is not flash. The segment's
  // bounds go to *start and *end.
  bool EraseSegment(uint32_t address, uint32_t* start = nullptr, uint32_t* end = nullptr);
  // Erases every byte of [start, end) that is flash.
  void EraseRange(uint32_t start, uint32_t end);

  // Programs `data` at `address` (the caller checks Holds first). Returns the faults it made.
  uint32_t Program(uint32_t address, std::string_view data);

  // Sets bytes as they are, without the rules of programming: the content a factory put there.
  void Preload(uint32_t address, std::string_view data);

  uint8_t Read(uint32_t address) const;
  std::string Read(uint32_t address, size_t count) const;

  uint32_t FaultCount() const { return faultCount_; }
  // The first faults in order (at most kKeptFaults).
  const std::vector<FlashFault>& Faults() const { return faults_; }
  static constexpr size_t kKeptFaults = 64;

  // The content for a state file: the segments that are not erased, as hex.
  nlohmann::json Save() const;
  // Replaces the whole content (everything else erased). False with a reason on bad data.
  bool Load(const nlohmann::json& saved, std::string* error);

  // Writes the content as TI-Text: sections of 16-byte lines for every line that is not wholly
  // erased, ended by "q".
  bool WriteTiText(const std::string& path, std::string* error) const;

 private:
  struct Area {
    FlashRegion region;
    std::vector<uint8_t> bytes;
  };
  Area* AreaOf(uint32_t address);
  const Area* AreaOf(uint32_t address) const;

  std::vector<Area> areas_;
  uint32_t faultCount_ = 0;
  std::vector<FlashFault> faults_;
};
