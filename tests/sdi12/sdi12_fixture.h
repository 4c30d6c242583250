// A reader's device context on a scripted pseudo-terminal with a VexaSDI12 on top, its error file
// in a folder of its own. The script plays the reader relaying a sensor: it expects the SDI-12
// command bytes and sends the sensor's answer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/device_context.h"
#include "sdi12/vexa_sdi12.h"
#include "tests/support/pty_device.h"

// Short enough that silent sensors do not slow the tests; long enough for a loaded machine.
constexpr uint32_t kTestTimeoutMs = 300;

class Sdi12Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = std::filesystem::temp_directory_path() /
           ("vexa_sdi12_" + std::to_string(getpid()) + "_" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    log_ = std::make_unique<VexaLog>((dir_ / "errors.txt").string().c_str(), 30);
    Reopen();
  }
  void TearDown() override {
    sdi_.reset();
    device_.reset();
    pty_.reset();
    std::filesystem::remove_all(dir_);
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

  std::string ErrorFile() const {
    std::ifstream in(dir_ / "errors.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
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
