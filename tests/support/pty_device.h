// A scripted device on a pseudo-terminal, for tests of every layer that talks over a port.
//
// The client opens Path() like a serial port. The fixture holds the master side and a second
// descriptor on the slave, so the line stays up while the client opens and closes it and the
// baud rate the client set can be read back. A script of steps (expect bytes, send bytes, wait,
// hang up) runs on a thread of its own while the test drives the client.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class PtyDevice {
 public:
  struct Step {
    enum Kind { kExpect, kSend, kDelay, kHangUp } kind;
    std::string bytes;
    int ms = 0;
  };
  // Waits up to `timeoutMs` until the client has written `bytes` (anything before them is
  // skipped, so a test names only what matters).
  static Step Expects(std::string_view bytes, int timeoutMs = 3000) {
    return {Step::kExpect, std::string(bytes), timeoutMs};
  }
  static Step Sends(std::string_view bytes) { return {Step::kSend, std::string(bytes), 0}; }
  static Step Waits(int ms) { return {Step::kDelay, {}, ms}; }
  static Step HangsUp() { return {Step::kHangUp, {}, 0}; }

  PtyDevice();
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  // The slave's device path, for example /dev/pts/7.
  const std::string& Path() const { return path_; }

  // The baud rate the client last set on the line (0 if unknown).
  uint32_t ClientBaud() const;

  // Writes to the client at once.
  void Send(std::string_view bytes);

  // Collects what the client wrote during the next `ms` milliseconds.
  std::string Receive(int ms);

  // Closes the master: the client's line hangs up.
  void HangUpNow();

  // Runs `steps` on a background thread.
  void Play(std::vector<Step> steps);

  // Waits for the script to end; true when every expectation was met. `received` gets all the
  // bytes the script read from the client.
  bool Finish(std::string* received = nullptr);

 private:
  void RunScript(std::vector<Step> steps);

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread script_;
  std::atomic<bool> script_ok_{true};
  std::string script_received_;
};
