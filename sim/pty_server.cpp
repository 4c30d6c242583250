#include "sim/pty_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "link/baud_rates.h"
#include "sim/whole_file.h"

namespace {

volatile sig_atomic_t gStopRequested = 0;

void RequestStop(int) {
  gStopRequested = 1;
}

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

int64_t NowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

void AddError(std::string* errors, const std::string& error) {
  if (!errors->empty()) *errors += "; ";
  *errors += error;
}

}  // namespace

bool ServerOptions::TakeFaults(FaultList& faults, std::string* error) {
  faults.TakeCount("silent-after", &silentAfter, error);
  if (faults.TakeCount("silent-for", &silentFor, error) && silentAfter == 0 && error->empty()) {
    *error = "fault silent-for=K needs silent-after=N: the answers after the N-th are lost";
  }
  faults.TakeCount("garble-rx", &garbleRx, error);
  faults.TakeCount("drop-rx", &dropRx, error);
  faults.TakeCount("garble-tx", &garbleTx, error);
  faults.TakeCount("drop-tx", &dropTx, error);
  echo = faults.TakeFlag("echo") || echo;
  return error->empty();
}

bool ServerOptions::TakePowerCut(FaultList& faults, std::string* error) {
  faults.TakeCount("power-cut-after", &powerCutAfter, error);
  return error->empty();
}

PtyServer::PtyServer(Instrument& instrument, ServerOptions options)
    : instrument_(instrument), options_(std::move(options)), startUs_(NowUs()) {
  currentUs_ = busyUntilUs_ = rxFreeUs_ = txFreeUs_ = startUs_;
}

PtyServer::~PtyServer() {
  RemoveLink();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

bool PtyServer::LoadState(std::string* error) {
  std::ifstream in(options_.statePath, std::ios::binary);
  if (!in) return true;  // a first start: the instrument as it left the factory
  nlohmann::json state = nlohmann::json::parse(in, nullptr, false);
  if (state.is_discarded()) {
    *error = "the state file " + options_.statePath + " is not JSON";
    return false;
  }
  std::string reason;
  if (!instrument_.LoadState(state, &reason)) {
    *error = "the state file " + options_.statePath + " does not fit: " + reason;
    return false;
  }
  return true;
}

bool PtyServer::Open(std::string* error) {
  // Before the link exists: whoever sees the link may stop the simulator at once.
  CatchStopSignals();
  if (!options_.statePath.empty() && !LoadState(error)) return false;

  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    *error = SystemError("cannot create a pseudo-terminal");
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    *error = SystemError("cannot name the pseudo-terminal");
    return false;
  }
  slavePath_ = name;
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) {
    *error = SystemError("cannot open " + slavePath_);
    return false;
  }
  // Raw and at 9600 baud until the computer configures the line, so nothing is translated.
  struct termios raw;
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  tcsetattr(slave_, TCSANOW, &raw);

  // The transcript exists before the link: whoever sees the link may read it at once.
  if (!options_.transcriptPath.empty() && !transcript_.Open(options_.transcriptPath, error)) {
    return false;
  }
  // The link replaces an earlier link of the same name, never anything else.
  struct stat existing;
  if (lstat(options_.linkPath.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      *error = options_.linkPath + " exists and is not a link";
      return false;
    }
    unlink(options_.linkPath.c_str());
  }
  if (symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) {
    *error = SystemError("cannot create the link " + options_.linkPath);
    return false;
  }
  linked_ = true;
  return true;
}

uint32_t PtyServer::ComputerBaud() const {
  struct termios settings;
  if (tcgetattr(slave_, &settings) != 0) return 0;
  return RateOfSpeedCode(cfgetospeed(&settings));
}

int64_t PtyServer::FinishWork(DeviceWork work, double ms) {
  stats_.deviceUs[static_cast<size_t>(work)] += ms * 1000.0;
  if (!options_.realtime) return currentUs_;
  busyUntilUs_ = std::max(currentUs_, busyUntilUs_) + static_cast<int64_t>(ms * 1000.0);
  return busyUntilUs_;
}

void PtyServer::Reply(std::string_view bytes, DeviceWork work, double ms) {
  // Whatever the instrument would say after the answer that cut its power is never said.
  if (powerCutDue_) return;
  const int64_t at = FinishWork(work, ms);
  ++stats_.answers;
  if (options_.powerCutAfter != 0 && stats_.answers == options_.powerCutAfter) {
    powerCutDue_ = true;
  }
  // Silent after the N-th answer, for good or for the next K answers only.
  if (options_.silentAfter != 0 && stats_.answers > options_.silentAfter &&
      (options_.silentFor == 0 ||
       stats_.answers - options_.silentAfter <= uint64_t{options_.silentFor})) {
    ++stats_.silencedAnswers;
    return;
  }
  Event event{Event::Kind::kSend, std::string(bytes), instrument_.Baud(), instrument_.StateName(),
              0};
  events_.emplace(at, std::move(event));
}

void PtyServer::WakeAfter(DeviceWork work, double ms, int token) {
  const int64_t at = FinishWork(work, ms);
  events_.emplace(at, Event{Event::Kind::kWake, {}, 0, {}, token});
}

void PtyServer::Work(DeviceWork work, double ms) {
  FinishWork(work, ms);
}

void PtyServer::RunDue(int64_t until) {
  while (!events_.empty() && events_.begin()->first <= until) {
    auto node = events_.extract(events_.begin());
    const int64_t at = node.key();
    if (node.mapped().kind == Event::Kind::kSend) {
      StartSending(at, node.mapped());
    } else {
      currentUs_ = at;
      instrument_.Wake(node.mapped().token, *this);
      CutPowerIfDue();
    }
  }
}

void PtyServer::CutPowerIfDue() {
  if (!powerCutDue_) return;
  powerCutDue_ = false;
  instrument_.CutPower(*this);
}

std::string PtyServer::ApplyByteFaults(std::string_view bytes, uint64_t* counter, uint32_t garble,
                                       uint32_t drop) {
  std::string wire;
  for (char byte : bytes) {
    ++*counter;
    if (drop != 0 && *counter == drop) continue;
    wire.push_back(garble != 0 && *counter == garble ? static_cast<char>(byte ^ 0x01) : byte);
  }
  return wire;
}

void PtyServer::StartSending(int64_t at, const Event& event) {
  const std::string wire =
      ApplyByteFaults(event.bytes, &txCount_, options_.garbleTx, options_.dropTx);
  const std::string heard = HostView(Transcode(wire, event.baud, ComputerBaud()));
  transcript_.Record(Seconds(at), "out", event.baud, event.bytes, heard, event.state);
  stats_.bytesSent += wire.size();
  const double wireUs = WireMicros(wire.size(), event.baud);
  stats_.wireUsSent += wireUs;
  QueueToComputer(at, options_.realtime ? wireUs : 0.0, heard);
}

void PtyServer::QueueToComputer(int64_t start, double durationUs, const std::string& bytes) {
  if (options_.realtime) start = std::max(start, txFreeUs_);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const double offset = durationUs * static_cast<double>(i + 1) / bytes.size();
    toComputer_.emplace_back(start + static_cast<int64_t>(offset), bytes[i]);
  }
  txFreeUs_ = start + static_cast<int64_t>(durationUs);
}

void PtyServer::FlushToComputer(int64_t now) {
  std::string due;
  while (!toComputer_.empty() && toComputer_.front().first <= now) {
    due.push_back(toComputer_.front().second);
    toComputer_.pop_front();
  }
  size_t written = 0;
  while (written < due.size()) {
    const ssize_t n = write(master_, due.data() + written, due.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // nobody drains the line: like a UART nobody listens to, the bytes are lost
    }
  }
  stats_.lostBytes += due.size() - written;
}

void PtyServer::ReadFromComputer(int64_t now) {
  char chunk[4096];
  const ssize_t n = read(master_, chunk, sizeof chunk);
  if (n <= 0) return;
  const std::string_view sent(chunk, static_cast<size_t>(n));
  const uint32_t computerBaud = ComputerBaud();
  const uint32_t instrumentBaud = instrument_.Baud();
  const std::string wire = ApplyByteFaults(sent, &rxCount_, options_.garbleRx, options_.dropRx);
  const std::vector<UartByte> heard = Transcode(wire, computerBaud, instrumentBaud);
  transcript_.Record(Seconds(now), "in", computerBaud, sent, HostView(heard),
                     instrument_.StateName());
  stats_.bytesReceived += sent.size();
  const double wireUs = WireMicros(sent.size(), computerBaud);
  stats_.wireUsReceived += wireUs;

  const int64_t start = options_.realtime ? std::max(now, rxFreeUs_) : now;
  const double durationUs = options_.realtime ? wireUs : 0.0;
  rxFreeUs_ = start + static_cast<int64_t>(durationUs);
  if (options_.echo) {
    // A relay repeats what it hears, at the computer's own rate.
    transcript_.Record(Seconds(now), "echo", computerBaud, wire, wire, instrument_.StateName());
    QueueToComputer(start, durationUs, wire);
  }
  for (size_t i = 0; i < heard.size(); ++i) {
    const int64_t arrival =
        start + static_cast<int64_t>(durationUs * static_cast<double>(i + 1) / heard.size());
    RunDue(arrival);  // what the instrument had to do before this byte came in
    currentUs_ = arrival;
    instrument_.Receive(heard[i], *this);
    CutPowerIfDue();
  }
}

void PtyServer::CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigemptyset(&stopSignals_);
  for (int stopSignal : kStopSignals) {
    sigaction(stopSignal, &action, nullptr);
    sigaddset(&stopSignals_, stopSignal);
  }
  signal(SIGPIPE, SIG_IGN);
  // The stop signals are only let in while waiting, so none is missed between the check and the
  // wait; one that comes before serving starts waits for the first wait.
  sigprocmask(SIG_BLOCK, &stopSignals_, &whileWaiting_);
  for (int stopSignal : kStopSignals) sigdelset(&whileWaiting_, stopSignal);
}

void PtyServer::Serve() {
  const int64_t endUs = options_.endAfterMs > 0
                            ? startUs_ + static_cast<int64_t>(options_.endAfterMs * 1000.0)
                            : INT64_MAX;
  while (!gStopRequested) {
    int64_t now = NowUs();
    currentUs_ = std::max(currentUs_, now);
    RunDue(now);
    FlushToComputer(now);
    if (now >= endUs) break;

    int64_t next = endUs;
    if (!events_.empty()) next = std::min(next, events_.begin()->first);
    if (!toComputer_.empty()) next = std::min(next, toComputer_.front().first);
    struct timespec timeout = {};
    struct timespec* wait = nullptr;
    if (next != INT64_MAX) {
      const int64_t us = std::max<int64_t>(0, next - now);
      timeout.tv_sec = us / 1000000;
      timeout.tv_nsec = (us % 1000000) * 1000;
      wait = &timeout;
    }
    struct pollfd request = {master_, POLLIN, 0};
    const int ready = ppoll(&request, 1, wait, &whileWaiting_);
    if (ready > 0 && (request.revents & POLLIN)) {
      ReadFromComputer(NowUs());
    } else if (ready > 0) {
      // No slave is open (cannot happen while the server holds one): do not spin on it.
      struct timespec pause = {0, 10 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  stats_.servedUs = NowUs() - startUs_;
}

bool PtyServer::SaveState(std::string* error) const {
  return WriteWholeFile(options_.statePath, instrument_.SaveState().dump(1) + "\n", error);
}

bool PtyServer::WriteStats(std::string* error) const {
  nlohmann::ordered_json stats = stats_.ToJson(options_.realtime);
  nlohmann::json instrument;
  instrument_.AddStats(instrument);
  instrument["answers_sent"] = stats_.answers;  // the count power-cut-after=N goes by
  stats["instrument"] = instrument;
  return WriteWholeFile(options_.statsPath, stats.dump(1) + "\n", error);
}

bool PtyServer::Finish(std::string* errors) {
  std::string error;
  if (!options_.dumpFlashPath.empty() && !instrument_.DumpFlash(options_.dumpFlashPath, &error)) {
    AddError(errors, error);
  }
  error.clear();
  if (!options_.statePath.empty() && !SaveState(&error)) AddError(errors, error);
  error.clear();
  if (!options_.statsPath.empty() && !WriteStats(&error)) AddError(errors, error);
  RemoveLink();
  return errors->empty();
}

void PtyServer::RemoveLink() {
  if (!linked_) return;
  // Only our own link: another simulator may have taken the name meanwhile.
  char target[PATH_MAX];
  const ssize_t length = readlink(options_.linkPath.c_str(), target, sizeof target - 1);
  if (length > 0 && std::string(target, static_cast<size_t>(length)) == slavePath_) {
    unlink(options_.linkPath.c_str());
  }
  linked_ = false;
}
