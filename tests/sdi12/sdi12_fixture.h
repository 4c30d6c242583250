// A reader's device context on a scripted pseudo-terminal with a VexaSDI12 on top, its error file
// in a folder of its own; a failing test prints the error file. The script plays the reader
// relaying a sensor: it expects the SDI-12 command bytes and sends the sensor's answer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "instrument/device_context.h"
#include "sdi12/vexa_sdi12.h"
#include "tests/support/pty_device.h"
#include "tests/support/scratch_log.h"

// Short enough that silent sensors do not slow the tests; long enough for a loaded machine.
constexpr uint32_t kTestTimeoutMs = 300;

class Sdi12Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch::MakeFolder("vexa_sdi12");
    log_ = std::make_unique<VexaLog>(scratch::ErrorFilePath(dir_).string().c_str(), 30);
    Reopen();
  }
  void TearDown() override {
    sdi_.reset();
    device_.reset();
    pty_.reset();
    scratch::EndFolder(dir_);
  }

  // A fresh line, reader and sensor object (for tables of cases).
  void Reopen() {
    sdi_.reset();
    device_.reset();
    pty_ = std::make_unique<PtyDevice>();
    device_ = std::make_unique<DeviceContext>(log_.get());
    ASSERT_EQ(device_->status, 1);
    ASSERT_EQ(DSOpen(&device_->port, pty_->Path().c_str(), 9600), 1);
    sdi_ = std::make_unique<VexaSDI12>(log_.get(), device_.get());
    sdi_->timeoutMs = kTestTimeoutMs;
  }

  std::string ErrorFile() const { return scratch::Contents(scratch::ErrorFilePath(dir_)); }
  bool Logged(const std::string& line) const { return ErrorFile().find(line) != std::string::npos; }

  // Everything the client wrote: what the script read and what is left on the line.
  std::string Written(bool* scriptOk = nullptr) {
    std::string received;
    const bool ok = pty_->Finish(&received);
    if (scriptOk) *scriptOk = ok;
    return received + pty_->Receive(50);
  }

  std::filesystem::path dir_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<PtyDevice> pty_;
  std::unique_ptr<DeviceContext> device_;
  std::unique_ptr<VexaSDI12> sdi_;
};

// The script steps of one exchange: the command, then the answer (none: the sensor is silent).
inline void Exchange(std::vector<PtyDevice::Step>* script, const std::string& command,
                     const std::string& answer) {
  script->push_back(PtyDevice::Expects(command));
  if (!answer.empty()) script->push_back(PtyDevice::Sends(answer));
}
