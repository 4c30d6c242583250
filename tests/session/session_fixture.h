// A session context with its error file and scratch files in a folder of its own, and a scripted
// instrument on a pseudo-terminal that the session's device port can be opened on. A failing
// test prints the error file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "session/session_context.h"
#include "tests/support/pty_device.h"
#include "tests/support/scratch_log.h"

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch::MakeFolder("vexa_session");
    log_ = std::make_unique<VexaLog>(scratch::ErrorFilePath(dir_).string().c_str(), 30);
    session_ = std::make_unique<SessionContext>(log_.get());
    ASSERT_EQ(session_->status, 1);
  }
  void TearDown() override {
    scratch::PrintErrorFileOnFailure(dir_);
    session_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Opens the session's port on the pseudo-terminal as a serial connection finds it.
  void OpenSerial(uint32_t tries = 1) {
    ASSERT_EQ(DSOpen(&session_->device.port, pty_.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = tries;
  }

  // A fresh context for a second look at the same files.
  std::unique_ptr<SessionContext> Fresh(int type) const {
    auto fresh = std::make_unique<SessionContext>(log_.get());
    fresh->type = static_cast<int8_t>(type);
    return fresh;
  }

  std::string PathFor(const std::string& name) const { return (dir_ / name).string(); }

  static std::string Contents(const std::string& path) { return scratch::Contents(path); }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string ErrorFile() const { return scratch::Contents(scratch::ErrorFilePath(dir_)); }
  bool Logged(const std::string& line) const { return ErrorFile().find(line) != std::string::npos; }

  std::filesystem::path dir_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<SessionContext> session_;
  PtyDevice pty_;
};

// How many times `part` occurs in `text`.
inline int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}
