#include "loader/image_fit.h"

#include <algorithm>
#include <vector>

#include "link/result.h"
#include "loader/ti_text.h"

namespace {

// Half-open address ranges [first, end).
struct Range {
  uint32_t first;
  uint32_t end;
};

constexpr uint32_t kFlashSegment = 512;  // main-flash segments lie on multiples of this

// Adds [first, end) to `areas`, joined to the last area when they meet.
void AddArea(std::vector<Range>* areas, uint32_t first, uint32_t end) {
  if (!areas->empty() && areas->back().end == first) {
    areas->back().end = end;
  } else {
    areas->push_back({first, end});
  }
}

// Where image bytes may go: what the update erases before it writes. That is the information
// memory (BSLEraseINFO: its segments from the start), the main flash as BSLEraseFlash walks it
// (each address erases the segment holding it; the walk jumps over the loader's code and the
// vector segment to 0x10000), and the vector segment below the vector words, which the loader
// erases with the first main-flash segment.
std::vector<Range> WritableAreas(const LoaderMemoryMap& map) {
  std::vector<Range> areas;
  const uint64_t infoEnd = uint64_t{map.infoStart} + uint64_t{map.infoSegments} * map.infoStep;
  if (infoEnd > map.infoStart) areas.push_back({map.infoStart, static_cast<uint32_t>(infoEnd)});

  if (map.flashStart < kLoaderCodeFirst || map.flashStart >= kVectorSegmentEnd) {
    for (uint32_t address = map.flashStart; address < map.flashEnd;) {
      const uint32_t segment = address - address % kFlashSegment;
      AddArea(&areas, std::max(segment, map.flashStart), segment + kFlashSegment);
      address += kFlashSegment;
      if (address >= kLoaderCodeFirst && address < kVectorSegmentEnd) address = kVectorSegmentEnd;
    }
  }
  areas.push_back({kVectorSegmentFirst, kVectorBase});
  return areas;
}

bool Inside(const Range& section, const std::vector<Range>& areas) {
  return std::any_of(areas.begin(), areas.end(), [&](const Range& area) {
    return section.first >= area.first && section.end <= area.end;
  });
}

}  // namespace

ImageFit CheckImageFit(const char* text, uint32_t length, const uint32_t vectors[kVectorCount],
                       const LoaderMemoryMap& map) {
  ImageFit fit;
  const std::vector<Range> areas = WritableAreas(map);
  std::vector<Range> sections;
  uint32_t offset = 0;
  ImageSection section;
  while (NextImageSection(text, length, &offset, &section)) {
    if (section.dataLength == 0) continue;  // a header alone writes nothing
    const Range bytes = {section.address, section.address + section.dataLength / 2};
    if (!Inside(bytes, areas)) {
      fit.fault = ImageFitFault::kOutsideMemory;
      fit.first = bytes.first;
      fit.end = bytes.end;
      return fit;
    }
    sections.push_back(bytes);
  }
  if (sections.empty()) {
    fit.fault = ImageFitFault::kNoCode;
    return fit;
  }

  // Flash takes each byte once per erase: a byte written twice ends up as both values ANDed.
  std::sort(sections.begin(), sections.end(),
            [](const Range& a, const Range& b) { return a.first < b.first; });
  for (size_t i = 1; i < sections.size(); ++i) {
    if (sections[i].first < sections[i - 1].end) {
      fit.fault = ImageFitFault::kOverlap;
      fit.first = sections[i].first;
      fit.end = sections[i].end;
      fit.other = sections[i - 1].first;
      return fit;
    }
  }

  if (!vectors || vectors[kResetVectorEntry] == kUnsetVector) {
    fit.fault = ImageFitFault::kNoResetVector;
  }
  return fit;
}

int32_t ImageFitResult(ImageFitFault fault) {
  switch (fault) {
    case ImageFitFault::kNone:
      return kResultOk;
    case ImageFitFault::kOutsideMemory:
      return kErrImageOutsideMemory;
    case ImageFitFault::kOverlap:
      return kErrImageOverlaps;
    case ImageFitFault::kNoCode:
      return kErrImageNoCode;
    case ImageFitFault::kNoResetVector:
      return kErrImageNoResetVector;
  }
  return kErrNotTiText;
}
