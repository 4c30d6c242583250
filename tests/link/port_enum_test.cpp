// Port discovery against fake devices on a umockdev testbed, seen through the real libudev.
#include "link/port_enum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/port_advice.h"
#include "tests/link/fake_ports.h"
#include "tests/support/holding_process.h"

namespace {

// Everyday devices, added in an order unlike the one the list must show.
void AddEverydayPorts(FakePorts& ports) {
  ports.AddUsb({"ttyUSB10", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI"});
  ports.AddUsb({"ttyUSB2", "1-2", "0403", "8414", "Norvane USB Adapter", "NORVANE_LKA0042", "", "",
                "usb-Norvane_USB_Adapter_NORVANE_LKA0042-if00-port0"});
  ports.AddUsb({"ttyUSB1", "1-3", "0403", "8414", "Norvane LKA", "NORVANE_LKA[QD40-117]"});
  ports.AddUsb({"ttyUSB7", "1-4", "067b", "2303", "USB Serial Port (ttyUSB7)", ""});
  ports.AddUsb({"ttyUSB5", "1-5", "0403", "6015", "Digi PKG-U 900 MHz", "DA01X7Q"});
  ports.AddUsb({"ttyUSB3", "1-6", "0403", "6001", "Norvane USB Cable", "NORVANE_LKA0043"});
  ports.AddUsb({"ttyACM0", "1-7", "2341", "0043", "", "", "",
                "E: ID_VENDOR_FROM_DATABASE=Arduino SA\nE: ID_MODEL_FROM_DATABASE=Uno R3\n"});
  ports.AddUart("ttyS0", 4);
  ports.AddUart("ttyS1", 0);  // a slot of the UART driver with no UART behind it
  ports.AddVirtualTty("tty1");
  ports.AddVirtualTty("console");
}

struct Listed {
  std::string name;
  std::string description;
  uint32_t number;
};

std::vector<Listed> ListOf(const CommPortEntry* table, uint32_t count) {
  std::vector<Listed> listed;
  for (uint32_t i = 0; i < count; ++i) {
    listed.push_back({table[i].name, table[i].description, table[i].number});
  }
  return listed;
}

void PrintTo(const Listed& entry, std::ostream* out) {
  *out << entry.name << " \"" << entry.description << "\" " << entry.number;
}
bool operator==(const Listed& a, const Listed& b) {
  return a.name == b.name && a.description == b.description && a.number == b.number;
}

TEST(CommPortEnum, DescribesEachPortAndOrdersThemByGroupThenNumber) {
  FakePorts ports;
  AddEverydayPorts(ports);
  CommPortEnumerator enumerator;
  CommPortEntry table[kPortTableCapacity];
  uint32_t count = kPortTableCapacity;
  EXPECT_EQ(CommPortEnum(&enumerator, table, &count, false), 8);
  ASSERT_EQ(count, 8u);
  const std::vector<Listed> expected = {
      {"ttyACM0", "ttyACM0 Arduino SA Uno R3", 0},             // the hardware database's names
      {"ttyS0", "ttyS0 Communications Port", 0},               // no name of its own
      {"ttyUSB1", "ttyUSB1 KALTO USB Adapter [QD40-117]", 1},  // made for one instrument
      {"ttyUSB2", "ttyUSB2 KALTO USB Adapter", 2},
      {"ttyUSB3", "ttyUSB3 Norvane USB Cable", 3},  // not the adapter's product id
      {"ttyUSB5", "ttyUSB5 Norvane USB Mx2", 5},    // the radio modem
      {"ttyUSB7", "ttyUSB7 USB Serial Port", 7},    // the port's name in brackets cut
      {"ttyUSB10", "ttyUSB10 FT232R USB UART", 10},
  };
  EXPECT_EQ(ListOf(table, count), expected);
  for (uint32_t i = 0; i < count; ++i) EXPECT_FALSE(table[i].busy) << table[i].name;
}

TEST(CommPortEnum, EntriesKnowTheirUsbIdsSerialNumberAndStablePath) {
  FakePorts ports;
  AddEverydayPorts(ports);
  CommPortEnumerator enumerator;
  CommPortEntry table[kPortTableCapacity];
  uint32_t count = kPortTableCapacity;
  ASSERT_GT(CommPortEnum(&enumerator, table, &count, false), 0);
  const CommPortEntry& adapter = table[3];
  ASSERT_STREQ(adapter.name, "ttyUSB2");
  EXPECT_STREQ(adapter.usbVendorId, "0403");
  EXPECT_STREQ(adapter.usbProductId, "8414");
  EXPECT_STREQ(adapter.usbSerial, "NORVANE_LKA0042");
  EXPECT_STREQ(adapter.byIdPath,
               "/dev/serial/by-id/usb-Norvane_USB_Adapter_NORVANE_LKA0042-if00-port0");
  const CommPortEntry& uart = table[1];
  ASSERT_STREQ(uart.name, "ttyS0");
  EXPECT_STREQ(uart.usbVendorId, "");
  EXPECT_STREQ(uart.byIdPath, "");
}

TEST(CommPortEnum, APortAnotherProgramHoldsIsMarkedBusyWithItsHolder) {
  struct Case {
    HoldingProcess::Lock lock;
    const char* port;
    const char* description;
  };
  const Case cases[] = {
      {HoldingProcess::Lock::kNone, "ttyUSB7", "ttyUSB7 USB Serial Port (busy)"},
      {HoldingProcess::Lock::kExclusive, "ttyUSB5", "ttyUSB5 Norvane USB Mx2 (busy)"},
  };
  FakePorts ports;
  AddEverydayPorts(ports);
  for (const Case& c : cases) {
    HoldingProcess holder(std::string("/dev/") + c.port, "minicom", c.lock);
    ASSERT_TRUE(holder.Holding()) << c.port;
    CommPortEnumerator enumerator;
    CommPortEntry table[kPortTableCapacity];
    uint32_t count = kPortTableCapacity;
    ASSERT_GT(CommPortEnum(&enumerator, table, &count, false), 0);
    for (uint32_t i = 0; i < count; ++i) {
      const bool held = std::strcmp(table[i].name, c.port) == 0;
      EXPECT_EQ(table[i].busy, held) << table[i].name;
      if (!held) continue;
      EXPECT_STREQ(table[i].description, c.description);
      EXPECT_EQ(table[i].holderPid, holder.Pid());
      EXPECT_STREQ(table[i].holderName, "minicom");
    }
  }
}

TEST(CommPortEnum, AFullTableKeepsTheFirstPortsListedInOrderAndLeavesTheRestAlone) {
  FakePorts ports;
  AddEverydayPorts(ports);
  CommPortEnumerator enumerator;
  CommPortEntry table[5];
  std::snprintf(table[3].description, sizeof table[3].description, "beyond the capacity");
  uint32_t count = 3;
  EXPECT_EQ(CommPortEnum(&enumerator, table, &count, true), 3);
  ASSERT_EQ(count, 3u);
  // The system lists ttyUSB10, ttyUSB2 and ttyUSB1 first; the table orders them.
  EXPECT_STREQ(table[0].name, "ttyUSB1");
  EXPECT_STREQ(table[1].name, "ttyUSB2");
  EXPECT_STREQ(table[2].name, "ttyUSB10");
  EXPECT_STREQ(table[3].description, "beyond the capacity");
}

TEST(CommPortEnum, MissingOrEmptyTablesAreRefusedAndLeftUntouched) {
  CommPortEnumerator enumerator;
  CommPortEntry table[2];
  std::snprintf(table[0].description, sizeof table[0].description, "untouched");
  uint32_t count = 0;
  EXPECT_EQ(CommPortEnum(&enumerator, table, &count, false), kErrBadArgument);
  EXPECT_STREQ(table[0].description, "untouched");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(CommPortEnum(&enumerator, nullptr, &count, false), kErrMissingArgument);
  EXPECT_EQ(CommPortEnum(&enumerator, table, nullptr, false), kErrMissingArgument);
}

TEST(CommPortEnum, ProbingAppendsOnlyRealUartsThatTheListMissed) {
  FakePorts ports;
  ports.AddUsb({"ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI"});
  ports.AddUart("ttyS0", 4);
  ports.AddUart("ttyS1", 0);                // no UART: neither listed nor probed
  ports.AddUart("ttyS2", 4, false);         // real, but the list does not take it
  ports.AddUart("ttyS3", 4, false, false);  // no device node
  ports.AddUart("ttyS20", 4, false);        // beyond ttyS15
  struct Case {
    bool forceFindAll;
    std::vector<Listed> expected;
  };
  const Case cases[] = {
      {false,
       {{"ttyS0", "ttyS0 Communications Port", 0}, {"ttyUSB0", "ttyUSB0 FT232R USB UART", 0}}},
      {true,
       {{"ttyS0", "ttyS0 Communications Port", 0},
        {"ttyUSB0", "ttyUSB0 FT232R USB UART", 0},
        {"ttyS2", "ttyS2 Communications Port (busy)", 2}}},
  };
  HoldingProcess holder("/dev/ttyS2", "screen");
  ASSERT_TRUE(holder.Holding());
  for (const Case& c : cases) {
    CommPortEnumerator enumerator;
    CommPortEntry table[kPortTableCapacity];
    uint32_t count = kPortTableCapacity;
    EXPECT_EQ(CommPortEnum(&enumerator, table, &count, c.forceFindAll),
              static_cast<int32_t>(c.expected.size()));
    EXPECT_EQ(ListOf(table, count), c.expected) << "forceFindAll " << c.forceFindAll;
  }
}

TEST(CommPortEnum, NoPortsGiveAnEmptyTable) {
  FakePorts ports;
  ports.AddVirtualTty("tty1");
  CommPortEnumerator enumerator;
  CommPortEntry table[kPortTableCapacity];
  uint32_t count = kPortTableCapacity;
  EXPECT_EQ(CommPortEnum(&enumerator, table, &count, false), 0);
  EXPECT_EQ(count, 0u);
}

TEST(ModemManagerWarning, AppearsOnlyForPortsModemManagerWasNotToldToIgnore) {
  FakePorts ports;
  ports.AddUsb({"ttyUSB0", "1-1", "0403", "6001", "FT232R USB UART", "A50285BI"});
  ports.AddUsb({"ttyUSB1", "1-2", "0403", "8414", "Norvane USB Adapter", "NORVANE_LKA0042",
                "E: ID_MM_DEVICE_IGNORE=1\n"});
  HoldingProcess modemManager("", "ModemManager");
  ASSERT_TRUE(modemManager.Holding());
  const std::string warning = ModemManagerWarning("ttyUSB0");
  EXPECT_NE(warning.find("ModemManager is running and may open ttyUSB0"), std::string::npos);
  EXPECT_NE(warning.find("sudo systemctl stop ModemManager"), std::string::npos);
  EXPECT_EQ(ModemManagerWarning("ttyUSB1"), "");
  EXPECT_EQ(PortOpenAdvice("ttyUSB1", kErrNoAnswer), "");
  EXPECT_NE(PortOpenAdvice("ttyUSB0", kErrNoAnswer).find("ModemManager"), std::string::npos);
}

}  // namespace
