// A device context on a scripted pseudo-terminal, with its error file in a folder of its own. A
// failing test prints the error file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "instrument/device_context.h"
#include "instrument/session.h"
#include "tests/support/pty_device.h"
#include "tests/support/scratch_log.h"

class InstrumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch::MakeFolder("vexa_instrument");
    log_ = std::make_unique<VexaLog>(scratch::ErrorFilePath(dir_).string().c_str(), 30);
    device_ = std::make_unique<DeviceContext>(log_.get());
    ASSERT_EQ(device_->status, 1);
  }
  void TearDown() override {
    ReleaseDevice(device_.get());
    device_.reset();
    scratch::EndFolder(dir_);
  }

  // Opens the port as a serial connection finds it after ConnectDevice.
  void OpenSerial(uint32_t tries = 3) {
    ASSERT_EQ(DSOpen(&device_->port, pty_.Path().c_str(), 9600), 1);
    device_->request.linkKind = link_kind::kSerial;
    device_->tries = tries;
  }

  std::string ErrorFile() const { return scratch::Contents(scratch::ErrorFilePath(dir_)); }
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
