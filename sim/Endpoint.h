// The serial side of the simulator: a pseudo-terminal (or a real serial
// device) on which a thread of its own listens for request frames and sends
// back what the simulator answers.
//
// A pseudo-terminal carries bytes as fast as they are written and knows no
// baud rate, so the line can pace them itself, at 10 bits a byte (start bit,
// 8 data bits, stop bit): a request counts as arrived when its last byte would
// have arrived at the baud rate, counted from when its bytes were seen, and
// the reply goes out byte by byte, each byte at the moment it would have been
// fully received. With a burst period the reply reaches the host in bursts
// instead, as through a USB adapter's latency timer. All waits are to absolute deadlines on the
// monotonic clock, so a late wake-up never adds up. A serial device paces bytes in its UART; leave
// pacing off there.
//
// The line keeps a descriptor of the pseudo-terminal's slave side open for as
// long as it runs, so that a host closing and reopening the port never
// causes a hang-up on the simulator's side, and bytes written while no host
// has the port open wait in the terminal's input queue (a host discards them
// before its next exchange).
//
// Start and Stop are the only ways the thread begins and ends; Stop returns
// once it has ended, and interrupts any wait at once. Open, Start and Stop
// belong to one controlling thread; Running and Failure may be asked from any.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Simulator.h"

namespace qx25::sim {

struct EndpointOptions {
  int Baud = kWireBaud;  // for pacing, and for a device's settings
  bool Pacing = true;                        // hold requests and replies to the wire time
  std::chrono::microseconds Turnaround{0};   // the controller's pause before it answers
  // A USB serial adapter's latency timer: received bytes reach the host in
  // bursts, on ticks this far apart, each burst holding every byte complete
  // by then. Zero passes each byte on as it completes.
  std::chrono::microseconds Burst{0};
};

// Reply bytes that go out together, At after the request's last byte
// arrived, whatever the line's pacing: a recorded reply keeps its own timing.
struct TimedBurst {
  std::chrono::microseconds At;
  Bytes Data;
};
// Answers a request frame with timed bursts; none for silence. Called on the
// line's thread.
using TimedResponder = std::function<std::vector<TimedBurst>(const Bytes& Frame)>;

class Endpoint {
 public:
  // The simulator must outlive the line. Throws std::invalid_argument for a
  // baud rate that is not positive or a negative turnaround.
  explicit Endpoint(Simulator& Sim, const EndpointOptions& Options = {});
  // A line answered by Respond instead (a replayed recording); the options'
  // pacing holds the requests, the turnaround and bursts are not used.
  explicit Endpoint(TimedResponder Respond, const EndpointOptions& Options = {});
  // Stops the thread and closes what is open.
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  // Opens a new pseudo-terminal in raw mode and returns the path of its slave
  // side ("/dev/pts/N"), which a host opens as its serial port. Throws
  // std::system_error when the system has none to give, std::logic_error
  // while running.
  std::string OpenPseudoTerminal();
  // Opens a serial device, raw 8N1 at the baud rate of the options (1200 to
  // 115200), without flow control. Throws std::system_error when it cannot be
  // opened or is not a terminal, std::invalid_argument for a baud rate the
  // device cannot take, std::logic_error while running.
  void OpenDevice(const std::string& Path);
  // The slave path or device path opened; empty before.
  const std::string& DevicePath() const { return Path; }

  // Starts answering (again, also after the thread ended on its own). Throws
  // std::logic_error when nothing is open or the thread already runs,
  // std::system_error when no thread can be started.
  void Start();
  // Ends the thread and waits for it; nothing happens when it does not run.
  void Stop();
  // False before Start, after Stop, and once the thread has ended on its own.
  bool Running() const { return Active.load(); }
  // Why the thread ended on its own (the device went away, a read failed);
  // empty otherwise.
  std::string Failure() const;

 private:
  using Clock = std::chrono::steady_clock;

  void Close();
  void Run();
  bool Reply(const Bytes& Frame, Clock::time_point Arrived);
  bool WaitUntil(Clock::time_point Deadline);
  bool Send(const uint8_t* Data, size_t Count);
  Clock::duration WireTime(size_t Count) const;
  Clock::time_point BurstTick(Clock::time_point Ready) const;
  bool SendInBursts(const Bytes& Reply, Clock::time_point Start);
  void Fail(const std::string& Why);

  Simulator* Sim;  // null when Respond answers
  TimedResponder Respond;
  const EndpointOptions Settings;
  const Clock::time_point Epoch = Clock::now();  // the adapter's timer runs freely from here
  std::string Path;
  int Master = -1;  // the descriptor the line reads and writes
  int Slave = -1;   // kept open on a pseudo-terminal
  int Wake = -1;    // an eventfd that Stop signals
  std::thread Worker;
  std::atomic<bool> Active{false};
  mutable std::mutex FailureLock;
  std::string FailureText;
};

}  // namespace qx25::sim
