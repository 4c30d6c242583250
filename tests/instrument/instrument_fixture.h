// A device context on a scripted pseudo-terminal, with its error file in a folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "instrument/device_context.h"
#include "tests/support/pty_device.h"

class InstrumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = std::filesystem::temp_directory_path() /
           ("vexa_instrument_" + std::to_string(getpid()) + "_" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    log_ = std::make_unique<VexaLog>((dir_ / "errors.txt").string().c_str(), 30);
    device_ = std::make_unique<DeviceContext>(log_.get());
    ASSERT_EQ(device_->status, 1);
  }
  void TearDown() override {
    device_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Opens the port as a serial connection finds it after ConnectDevice.
  void OpenSerial(uint32_t tries = 3) {
    ASSERT_EQ(DSOpen(&device_->port, pty_.Path().c_str(), 9600), 1);
    device_->request.linkKind = link_kind::kSerial;
    device_->tries = tries;
  }

  std::string ErrorFile() const {
    std::ifstream in(dir_ / "errors.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Logged(const std::string& line) const { return ErrorFile().find(line) != std::string::npos; }

  std::filesystem::path dir_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<DeviceContext> device_;
  PtyDevice pty_;
};

// How many times `part` occurs in `text`.
inline int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}
