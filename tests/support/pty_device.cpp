#include "tests/support/pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "link/baud_rates.h"

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PtyDevice::PtyDevice() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  path_ = ptsname(master_);
  slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) throw std::runtime_error("cannot open the pseudo-terminal slave");
  // Raw from the start, so that nothing the device sends before the client configures the line
  // is translated or held back by the line discipline.
  struct termios raw;
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
}

PtyDevice::~PtyDevice() {
  if (script_.joinable()) script_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

uint32_t PtyDevice::ClientBaud() const {
  struct termios settings;
  if (tcgetattr(slave_, &settings) != 0) return 0;
  return RateOfSpeedCode(cfgetospeed(&settings));
}

void PtyDevice::Send(std::string_view bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string PtyDevice::Receive(int ms) {
  std::string got;
  const int64_t end = NowMs() + ms;
  for (int64_t left = ms; left > 0; left = end - NowMs()) {
    struct pollfd request = {master_, POLLIN, 0};
    if (poll(&request, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(master_, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}

void PtyDevice::HangUpNow() {
  if (master_ >= 0) close(master_);
  master_ = -1;
  // The fixture's own slave descriptor would keep the line half open; let it go too.
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

void PtyDevice::Play(std::vector<Step> steps) {
  if (script_.joinable()) script_.join();
  script_ok_ = true;
  script_received_.clear();
  script_ = std::thread(&PtyDevice::RunScript, this, std::move(steps));
}

bool PtyDevice::Finish(std::string* received) {
  if (script_.joinable()) script_.join();
  if (received) *received = script_received_;
  return script_ok_;
}

void PtyDevice::RunScript(std::vector<Step> steps) {
  std::string pending;  // bytes received but not yet matched by an expectation
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::kExpect: {
        const int64_t end = NowMs() + step.ms;
        size_t at;
        while ((at = pending.find(step.bytes)) == std::string::npos && NowMs() < end) {
          const std::string got = Receive(20);
          pending += got;
          script_received_ += got;
        }
        if (at == std::string::npos) {
          script_ok_ = false;
          return;
        }
        pending.erase(0, at + step.bytes.size());
        break;
      }
      case Step::kSend:
        Send(step.bytes);
        break;
      case Step::kDelay:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        break;
      case Step::kHangUp:
        HangUpNow();
        break;
    }
  }
}
