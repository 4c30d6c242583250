// What the pseudo-terminal server needs of a virtual instrument, and what it offers back.
//
// The server owns the line: it reads what the computer writes, turns it into the bytes the
// instrument's UART hears at its current rate, paces replies, keeps the transcript and the
// statistics, and applies the faults of the line itself (silence, garbled or dropped bytes, an
// echoing relay). An instrument family only decides what it answers and how long its own work
// takes; it never touches the descriptor or the clock.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "sim/uart_line.h"

// The kinds of work an instrument spends its own time on; the statistics add them up and
// --realtime waits for them.
// kPoweredOff is time without power, kept apart from the work proper.
enum class DeviceWork { kAnswer, kErase, kProgram, kRestart, kDataErase, kPoweredOff };
constexpr int kDeviceWorkKinds = 6;
const char* DeviceWorkName(DeviceWork work);  // as in --stats: "answer", "data_erase", ...

// The instrument's side of the server.
class InstrumentIo {
 public:
  virtual ~InstrumentIo() = default;
  // The time of what the instrument is doing now, in milliseconds since the simulator started.
  virtual double NowMs() const = 0;
  // Sends `bytes` at the instrument's current rate after `ms` of the instrument's own work
  // (work is done one piece after another; without --realtime it takes no time but still counts).
  virtual void Reply(std::string_view bytes, DeviceWork work, double ms) = 0;
  // Spends `ms` of work without sending, then calls Instrument::Wake(token).
  virtual void WakeAfter(DeviceWork work, double ms, int token) = 0;
  // Spends `ms` of work and sends nothing (the instrument answers after it through Reply).
  virtual void Work(DeviceWork work, double ms) = 0;
};

class Instrument {
 public:
  virtual ~Instrument() = default;

  // The rate the instrument's UART runs at now.
  virtual uint32_t Baud() const = 0;
  // A short word for the transcript: "firmware", "loader-waiting", "off", ...
  virtual std::string StateName() const = 0;

  // One byte the instrument's UART received.
  virtual void Receive(const UartByte& byte, InstrumentIo& io) = 0;
  // A wake-up asked for with WakeAfter.
  virtual void Wake(int token, InstrumentIo& io) = 0;

  // State kept across runs of the simulator (--state).
  virtual nlohmann::json SaveState() const = 0;
  // Returns false with a reason when the state does not fit this instrument.
  virtual bool LoadState(const nlohmann::json& state, std::string* error) = 0;

  // The instrument's own counters for --stats (frames, rejected frames, flash faults, ...).
  virtual void AddStats(nlohmann::json& stats) const = 0;
  // Writes the flash as TI-Text (--dump-flash); false with a reason on failure.
  virtual bool DumpFlash(const std::string& path, std::string* error) const = 0;

  // The power fails right after the answer the instrument just sent (the fault
  // power-cut-after=N): from now on it hears and answers nothing until its power comes back,
  // when it powers up by its own rules. Only families that take the fault are ever cut.
  virtual void CutPower(InstrumentIo&) {}
};
