#include "session/lab_items.h"

#include <cstring>

namespace {

namespace bit = lab_bit;

#define TEXT(field)                            \
  LabValue::kText, sizeof(LabSettings::field), \
      [](LabSettings& lab) -> char* { return lab.field; }, nullptr
#define NUMBER(field) \
  LabValue::kNumber, 0, nullptr, [](LabSettings& lab) -> int32_t* { return &lab.field; }

// Rows without a get command are read and written by rules of their own (lab_settings.cpp).
constexpr LabItem kItems[] = {
    {bit::kName, "name", TEXT(name), "get -i", "set -i %s\r", "name"},
    {bit::kSerialNumber, "sn", TEXT(serialNumber), nullptr, "set -sn %s\r", "device serial number"},
    {bit::kLanguage, "lang", NUMBER(language), "get -lang", "set -lang %ld\r", "device language"},
    {bit::kContrast, "contr", NUMBER(contrast), "get -contr", "set -contr %ld\r",
     "device contrast"},
    {bit::kFvals, "fvals", TEXT(fvals), "get -fvals", "set -fvals %s\r", "fvals"},
    {bit::kUvals, "uvals", TEXT(uvals), nullptr, nullptr, "uvals/pvuser"},
    {bit::kUnits, "units", NUMBER(units), "get -units", "set -units %ld\r", "device units"},
    {bit::kAdc, "adc", TEXT(adc), "get -adc", "set -adc %s\r", "adc"},
    {bit::kInterval, nullptr, NUMBER(interval), "get -int", nullptr, "int"},
    {bit::kAdcCal, "adccal", TEXT(adccal), "get -adccal", "set -adccal %s\r", "adccal"},
    {bit::kConfig, "config", TEXT(config), "get -config", "set -config %s\r", "config"},
    {bit::kWtOffset, "wtoffset", TEXT(wtoffset), "get -wtoffset", "set -wtoffset %s\r", "wtoffset"},
    {bit::kP1Offset, "p1offset", TEXT(p1offset), "get -p1offset", "set -p1offset %s\r", "p1offset"},
    {bit::kAuto, "auto", TEXT(autoText), "get -auto", "set -auto %s\r", "autosec"},
    {bit::kUsage, "usage", TEXT(usage), "get -usage", "set -usage %s\r", "usage"},
    {bit::kWtFactory, "wtfactory", TEXT(wtfactory), "get -wtfactory", "set -wtfactory %s\r",
     "wtfactory"},
    {bit::kAdc15, "adc15", TEXT(adc15), "get -adc15", "set -adc15 %s\r", "adc15"},
    {bit::kAdc30, "adc30", TEXT(adc30), "get -adc30", "set -adc30 %s\r", "adc30"},
    {bit::kSample, "sample", TEXT(sample), "get -sample", "set -sample %s\r", "sample"},
    {bit::kPcUnits, "PCUnits", TEXT(pcUnits), "get -units", "set -units %s\r", "pcUnits"},
    {bit::kLocation, "location", TEXT(location), "get -loc", "set -loc %s\r", "location"},
    {bit::kChai, "chai", TEXT(chai), "get -x", "set -x %s\r", "chai"},
    {bit::kExtCal, "extCal", TEXT(extCal), "get -ext", "set -ext %s\r", "ext"},
    {bit::kTadj, "tadj", TEXT(tadj), "get -tadj", "set -tadj %s\r", "tadj"},
    {bit::kHadjTau, "tau", NUMBER(tau), nullptr, "set -tau %ld\r", "tau"},
    {bit::kHadjTau, "hadj", TEXT(hadj), nullptr, "set -hadj %s\r", "hadj"},
    {bit::kSys, "sys", TEXT(sys), "get -sys", "set -sys %s\r", "sys"},
    {bit::kPValues, "calprefs", TEXT(calprefs), nullptr, nullptr, "-c76"},
};

#undef TEXT
#undef NUMBER

// A set format takes exactly one value: "%s" for a text, "%ld" for a number.
constexpr bool TakesOneValue(const char* format, LabValue kind) {
  int conversions = 0;
  for (; *format; ++format) {
    if (*format != '%') continue;
    ++format;
    if (*format == '%') continue;
    ++conversions;
    const bool text = format[0] == 's';
    const bool number = format[0] == 'l' && format[1] == 'd';
    if (kind == LabValue::kText ? !text : !number) return false;
  }
  return conversions == 1;
}

constexpr bool FormatsFit() {
  for (const LabItem& item : kItems) {
    if (item.setFormat && !TakesOneValue(item.setFormat, item.kind)) return false;
  }
  return true;
}
static_assert(FormatsFit(), "a set format does not take its item's value");

}  // namespace

const char* const kLabFileKeys[] = {
    "name",  "sn",       "lang",   "VexaBuild", "contr",   "config", "fvals", "uvals",
    "units", "adc",      "adccal", "calprefs",  "PCUnits", "sample", "usage", "adc15",
    "adc30", "location", "chai",   "extCal",    "tadj",    "tau",    "hadj",
};
const int kLabFileKeyCount = static_cast<int>(std::size(kLabFileKeys));

const char* const kLabHeldOnlyKeys[] = {"wtoffset", "p1offset", "auto", "wtfactory", "sys"};
const int kLabHeldOnlyKeyCount = static_cast<int>(std::size(kLabHeldOnlyKeys));

const LabItem* FindLabItemByKey(const char* key) {
  for (const LabItem& item : kItems) {
    if (item.key && std::strcmp(item.key, key) == 0) return &item;
  }
  return nullptr;
}

const LabItem* FindPlainLabItem(uint32_t bit) {
  for (const LabItem& item : kItems) {
    if (item.bit == bit && item.getCommand) return &item;
  }
  return nullptr;
}

const char* LabItemName(uint32_t bit) {
  switch (bit) {
    case lab_bit::kPSet:
      return "p-set";
    case lab_bit::kCalEntries:
      return "cal";
    case lab_bit::kPValues:
      return "p";
    case lab_bit::kHadjTau:
      return "hadj/tau";
    case lab_bit::kUserRecords:
      return "user";
    case lab_bit::kEqnRecords:
      return "eqn";
    case lab_bit::kInterval:
      return "int";
    default:
      break;
  }
  for (const LabItem& item : kItems) {
    if (item.bit == bit && item.key) return item.key;
  }
  return "?";
}
