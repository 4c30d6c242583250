#include "sim/flash_memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kErased = 0xFF;
constexpr uint32_t kTiTextLine = 16;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

FlashMemory::FlashMemory(std::vector<FlashRegion> regions) {
  for (const FlashRegion& region : regions) {
    areas_.push_back({region, std::vector<uint8_t>(region.end - region.start, kErased)});
  }
}

FlashMemory::Area* FlashMemory::AreaOf(uint32_t address) {
  for (Area& area : areas_) {
    if (address >= area.region.start && address < area.region.end) return &area;
  }
  return nullptr;
}

const FlashMemory::Area* FlashMemory::AreaOf(uint32_t address) const {
  return const_cast<FlashMemory*>(this)->AreaOf(address);
}

bool FlashMemory::Holds(uint32_t address, size_t count) const {
  const Area* area = AreaOf(address);
  return area && count <= area->region.end - address;
}

bool FlashMemory::EraseSegment(uint32_t address, uint32_t* start, uint32_t* end) {
  Area* area = AreaOf(address);
  if (!area) return false;
  const uint32_t size = area->region.segmentSize;
  const uint32_t first = std::max(address - address % size, area->region.start);
  const uint32_t last = std::min(address - address % size + size, area->region.end);
  std::fill(area->bytes.begin() + (first - area->region.start),
            area->bytes.begin() + (last - area->region.start), kErased);
  if (start) *start = first;
  if (end) *end = last;
  return true;
}

void FlashMemory::EraseRange(uint32_t start, uint32_t end) {
  for (Area& area : areas_) {
    const uint32_t first = std::max(start, area.region.start);
    const uint32_t last = std::min(end, area.region.end);
    if (first >= last) continue;
    std::fill(area.bytes.begin() + (first - area.region.start),
              area.bytes.begin() + (last - area.region.start), kErased);
  }
}

uint32_t FlashMemory::Program(uint32_t address, std::string_view data) {
  uint32_t faults = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    Area* area = AreaOf(address + static_cast<uint32_t>(i));
    if (!area) continue;
    uint8_t& cell = area->bytes[address + i - area->region.start];
    const auto wanted = static_cast<uint8_t>(data[i]);
    if (wanted & ~cell) {
      ++faults;
      ++faultCount_;
      if (faults_.size() < kKeptFaults) {
        faults_.push_back({address + static_cast<uint32_t>(i), cell, wanted});
      }
    }
    cell &= wanted;
  }
  return faults;
}

void FlashMemory::Preload(uint32_t address, std::string_view data) {
  for (size_t i = 0; i < data.size(); ++i) {
    Area* area = AreaOf(address + static_cast<uint32_t>(i));
    if (area) area->bytes[address + i - area->region.start] = static_cast<uint8_t>(data[i]);
  }
}

uint8_t FlashMemory::Read(uint32_t address) const {
  const Area* area = AreaOf(address);
  return area ? area->bytes[address - area->region.start] : kErased;
}

std::string FlashMemory::Read(uint32_t address, size_t count) const {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<char>(Read(address + static_cast<uint32_t>(i))));
  }
  return bytes;
}

nlohmann::json FlashMemory::Save() const {
  nlohmann::json segments = nlohmann::json::array();
  static const char kDigits[] = "0123456789ABCDEF";
  for (const Area& area : areas_) {
    const uint32_t size = area.region.segmentSize;
    for (uint32_t first = area.region.start; first < area.region.end;) {
      const uint32_t last = std::min(first - first % size + size, area.region.end);
      const auto begin = area.bytes.begin() + (first - area.region.start);
      const auto end = area.bytes.begin() + (last - area.region.start);
      if (std::any_of(begin, end, [](uint8_t byte) { return byte != kErased; })) {
        std::string hex;
        for (auto it = begin; it != end; ++it) {
          hex.push_back(kDigits[*it >> 4]);
          hex.push_back(kDigits[*it & 0xF]);
        }
        segments.push_back({{"address", first}, {"data", hex}});
      }
      first = last;
    }
  }
  return segments;
}

bool FlashMemory::Load(const nlohmann::json& saved, std::string* error) {
  if (!saved.is_array()) {
    *error = "flash: expected a list of segments";
    return false;
  }
  for (Area& area : areas_) std::fill(area.bytes.begin(), area.bytes.end(), kErased);
  for (const nlohmann::json& segment : saved) {
    if (!segment.is_object() || !segment.contains("address") || !segment.contains("data") ||
        !segment["address"].is_number_unsigned() || !segment["data"].is_string()) {
      *error = "flash: a segment needs \"address\" and \"data\"";
      return false;
    }
    const auto address = segment["address"].get<uint32_t>();
    const auto& hex = segment["data"].get_ref<const std::string&>();
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      const int high = HexValue(hex[i]);
      const int low = HexValue(hex[i + 1]);
      if (high < 0 || low < 0) break;
      bytes.push_back(static_cast<char>(high << 4 | low));
    }
    if (bytes.size() * 2 != hex.size() || !Holds(address, bytes.size())) {
      char where[16];
      std::snprintf(where, sizeof where, "0x%X", address);
      *error = std::string("flash: bad segment at ") + where;
      return false;
    }
    Preload(address, bytes);
  }
  return true;
}

bool FlashMemory::WriteTiText(const std::string& path, std::string* error) const {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  uint32_t next = UINT32_MAX;  // the address right after the last line written
  for (const Area& area : areas_) {
    for (uint32_t line = area.region.start; line < area.region.end;) {
      const uint32_t last = std::min(line - line % kTiTextLine + kTiTextLine, area.region.end);
      const auto begin = area.bytes.begin() + (line - area.region.start);
      const auto end = area.bytes.begin() + (last - area.region.start);
      if (std::any_of(begin, end, [](uint8_t byte) { return byte != kErased; })) {
        if (line != next) std::fprintf(file, line > 0xFFFF ? "@%05X\n" : "@%04X\n", line);
        for (auto it = begin; it != end; ++it) {
          std::fprintf(file, it == begin ? "%02X" : " %02X", *it);
        }
        std::fputc('\n', file);
        next = last;
      }
      line = last;
    }
  }
  std::fputs("q\n", file);
  if (std::fclose(file) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
