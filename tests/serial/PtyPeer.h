// The far end of a pseudo-terminal for the dispatcher's tests: a scripted
// controller on the master side, run in its own thread, while the dispatcher
// opens the slave path like any serial device. The peer keeps a slave
// descriptor of its own open, so the line stays up while the dispatcher
// closes and reopens it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/PortDispatcher.h"
#include "driver/protocol/Link.h"
#include "terminal/Terminal.h"

using Bytes = std::vector<uint8_t>;
using qx25::ReplyFrame;
using qx25::RequestFrame;

// A bound for waits that only a broken dispatcher ever reaches.
inline constexpr std::chrono::seconds kPeerWait{10};

class PtyPeer {
 public:
  PtyPeer() {
    const qx25::terminal::PseudoTerminal pty = qx25::terminal::OpenPseudoTerminal();
    Master = pty.Master;
    SlavePath = pty.SlavePath;
    Hold = open(SlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Hold < 0) throw std::runtime_error("cannot open " + SlavePath);
  }
  ~PtyPeer() {
    Join();
    HangUp();
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& Path() const { return SlavePath; }
  int HoldFd() const { return Hold; }

  // Runs Script on the master side in a thread of its own, after any earlier
  // script has finished.
  void Run(std::function<void(PtyPeer&)> Script) {
    Join();
    Thread = std::thread([this, s = std::move(Script)] { s(*this); });
  }
  void Join() {
    if (Thread.joinable()) Thread.join();
  }

  // Up to Count bytes from the line: fewer only when the line stays quiet for
  // kPeerWait or hangs up.
  Bytes Read(size_t Count) {
    Bytes out;
    while (out.size() < Count) {
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(kPeerWait.count() * 1000)) <= 0) break;
      uint8_t buf[256];
      const ssize_t n = read(Master, buf, std::min(sizeof buf, Count - out.size()));
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  void Write(const Bytes& Data) {
    size_t done = 0;
    while (done < Data.size()) {
      const ssize_t n = write(Master, Data.data() + done, Data.size() - done);
      if (n <= 0) throw std::runtime_error("peer write failed");
      done += static_cast<size_t>(n);
    }
  }
  // True when bytes from the dispatcher wait unread right now.
  bool Pending() {
    pollfd p{Master, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
  }
  // Closes the master side (and the peer's own slave descriptor): the line
  // hangs up under the dispatcher.
  void HangUp() {
    if (Master >= 0) close(Master);
    if (Hold >= 0) close(Hold);
    Master = Hold = -1;
  }

 private:
  int Master = -1;
  int Hold = -1;
  std::string SlavePath;
  std::thread Thread;
};

// The driver's reply check behind a TReplyHandler, with a record of the
// lengths it was handed, which a peer thread can wait on.
class CheckingHandler {
 public:
  explicit CheckingHandler(PortDispatcher& Owner) : Target(Owner) {}

  TReplyHandler Handler() { return {&Call, this}; }
  std::vector<uint8_t> Lengths() {
    std::lock_guard<std::mutex> hold(Lock);
    return Seen;
  }
  // Starts a new record, for the next exchange's WaitFor.
  void Forget() {
    std::lock_guard<std::mutex> hold(Lock);
    Seen.clear();
  }
  // Waits until the handler has been handed at least Count bytes.
  bool WaitFor(uint8_t Count) {
    std::unique_lock<std::mutex> hold(Lock);
    return Changed.wait_for(hold, kPeerWait, [&] { return !Seen.empty() && Seen.back() >= Count; });
  }

 private:
  static bool Call(void* Self, uint8_t Port, uint8_t* Buffer, void*, uint8_t* Length, void*) {
    auto* h = static_cast<CheckingHandler*>(Self);
    {
      std::lock_guard<std::mutex> hold(h->Lock);
      h->Seen.push_back(*Length);
    }
    h->Changed.notify_all();
    const qx25::TReplyVerdict v = qx25::CheckReply(Buffer, *Length);
    if (v.HasState) h->Target.SetReplyState(Port, v.State);
    h->Target.SetReplyResult(Port, v.Code);
    return v.Accepted;
  }

  PortDispatcher& Target;
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<uint8_t> Seen;
};
