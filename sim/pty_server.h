// Serves one virtual instrument on a pseudo-terminal: the computer opens the link path like a
// serial port. The server keeps a descriptor of its own on the slave, so the line survives the
// computer opening and closing the port, and reads the rate the computer set from it.
//
// Line model: every burst the computer writes is judged at the computer's rate and heard by the
// instrument's UART at the instrument's rate (uart_line.h), and every reply the other way round.
// With --realtime both directions take 10 bits per byte of the rate they go at and the
// instrument's own work takes the times it was given; without it everything happens at once
// (the times still count in the statistics). The server sleeps in ppoll between events and
// never spins.
#pragma once

#include <poll.h>
#include <signal.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/line_stats.h"
#include "sim/transcript.h"

struct ServerOptions {
  std::string linkPath;        // the symlink to the slave that the computer opens
  bool realtime = false;       // pace the line and the instrument's work
  std::string transcriptPath;  // --transcript
  std::string statsPath;       // --stats, written at the end
  std::string dumpFlashPath;   // --dump-flash, written at the end
  std::string statePath;       // --state, read at the start when present, written at the end
  double endAfterMs = 0;       // a scripted end (0: serve until a signal)

  // Faults of the line: the instrument falls silent after N answers (for K answers only, when
  // silentFor is set, as a cable that drops out for a moment); the N-th byte from the computer
  // (rx) or from the instrument (tx) is garbled (one bit flipped) or dropped; a relay in the
  // path echoes every byte the computer sends.
  uint32_t silentAfter = 0;
  uint32_t silentFor = 0;  // 0: silent for good
  uint32_t garbleRx = 0;
  uint32_t dropRx = 0;
  uint32_t garbleTx = 0;
  uint32_t dropTx = 0;
  bool echo = false;

  // The instrument's power fails right after its N-th answer (0: never). Only the families that
  // can lose power take the fault.
  uint32_t powerCutAfter = 0;

  // Takes silent-after=N, silent-for=K (only with silent-after), garble-rx=N, drop-rx=N,
  // garble-tx=N, drop-tx=N and echo.
  bool TakeFaults(FaultList& faults, std::string* error);
  // Takes power-cut-after=N.
  bool TakePowerCut(FaultList& faults, std::string* error);
};

class PtyServer : private InstrumentIo {
 public:
  PtyServer(Instrument& instrument, ServerOptions options);
  ~PtyServer() override;
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Loads the state file when it exists, creates the pseudo-terminal, opens the transcript and,
  // last, points the link at the terminal: once the link exists, everything else does. False
  // with a reason.
  bool Open(std::string* error);
  const std::string& SlavePath() const { return slavePath_; }

  // Serves until SIGTERM, SIGINT or SIGHUP, or the scripted end.
  void Serve();

  // Writes the flash dump, the state and the statistics, and removes the link. False with the
  // reasons of what failed (everything is still attempted).
  bool Finish(std::string* error);

 private:
  struct Event {
    enum class Kind { kSend, kWake } kind;
    std::string bytes;  // kSend: as the instrument sends them
    uint32_t baud = 0;  // kSend: the instrument's rate when it answered
    std::string state;  // kSend: the instrument's state when it answered
    int token = 0;      // kWake
  };

  // InstrumentIo
  double NowMs() const override { return static_cast<double>(currentUs_ - startUs_) / 1000.0; }
  void Reply(std::string_view bytes, DeviceWork work, double ms) override;
  void WakeAfter(DeviceWork work, double ms, int token) override;
  void Work(DeviceWork work, double ms) override;
  int64_t FinishWork(DeviceWork work, double ms);

  void RunDue(int64_t until);
  // After the instrument handled a byte or a wake-up: the power cut that its last answer asked
  // for.
  void CutPowerIfDue();
  void StartSending(int64_t at, const Event& event);
  void QueueToComputer(int64_t start, double durationUs, const std::string& bytes);
  void FlushToComputer(int64_t now);
  void ReadFromComputer(int64_t now);
  std::string ApplyByteFaults(std::string_view bytes, uint64_t* counter, uint32_t garble,
                              uint32_t drop);
  uint32_t ComputerBaud() const;
  double Seconds(int64_t us) const { return static_cast<double>(us - startUs_) / 1e6; }
  bool WriteStats(std::string* error) const;
  bool SaveState(std::string* error) const;
  bool LoadState(std::string* error);
  void RemoveLink();
  void CatchStopSignals();

  Instrument& instrument_;
  ServerOptions options_;
  sigset_t stopSignals_ = {};
  sigset_t whileWaiting_ = {};  // the signal mask during ppoll: stop signals let in
  Transcript transcript_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  bool linked_ = false;

  int64_t startUs_ = 0;
  int64_t currentUs_ = 0;                 // the time of what the instrument is doing now
  int64_t busyUntilUs_ = 0;               // the instrument's work is done one piece after another
  int64_t rxFreeUs_ = 0;                  // the line from the computer is busy until then
  int64_t txFreeUs_ = 0;                  // the line to the computer is busy until then
  std::multimap<int64_t, Event> events_;  // equal times keep their order
  std::deque<std::pair<int64_t, char>> toComputer_;  // bytes and when they have arrived

  LineStats stats_;
  uint64_t rxCount_ = 0;      // bytes from the computer so far, for the byte faults
  uint64_t txCount_ = 0;      // bytes from the instrument so far
  bool powerCutDue_ = false;  // the N-th answer went out; the power fails once it is handled
};
