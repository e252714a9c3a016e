// The service window's two workers and the host on one port through one
// driver object, all at once: a read-all loop over the 43 codes of the bulk
// range and a write-all loop of 31 writes at one controller, and a host
// polling a nozzle every 100 ms, against the simulated controllers over a
// pseudo-terminal. The controller refuses one code throughout. The driver's
// per-port lock must keep each command whole: the controllers see only whole,
// well-formed requests, every read gets the value the controller holds, every
// write its own acknowledgement (or refusal), and no poll ever acts on the
// refusal code or line status of another caller's exchange. Built also under
// ThreadSanitizer, where it must run clean.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Rig.h"
#include "driver/HostContract.h"
#include "params/ParameterUnit.h"

namespace e2e {
namespace {

constexpr int kAddress = 17;      // the workers' controller
constexpr int kNozzle = 1;        // the host's nozzle: address 1, lifted
constexpr int kRefusedCode = 16;  // read and written by both workers
constexpr int kRounds = 2;        // of each worker, at the least
constexpr int kMinPolls = 5;      // that the workers see out before they stop
constexpr auto kPollEvery = std::chrono::milliseconds(100);

class SharedDriver : public Rig {
 protected:
  void SetUp() override {
    Rig::SetUp();
    Catalog.Fill();
    Sim.LiftNozzle(kNozzle);
    for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
      const CParameter& p = Catalog.Items(i);
      Reads.push_back(p);
      if (!p.SkipOnWriteAll) Writes.push_back(p);
      if (p.Code != qx25::kPasswordCode) Sim.SetParam(kAddress, p.Code, ValueOf(p));
    }
    Sim.SetCodeFault(kRefusedCode, Fault::Refuse);
    // What the controllers saw, counted on the line's thread.
    Sim.SetObserver([this](const qx25::sim::Exchange& x) {
      if (!x.Data || x.Data->size() < 3) {
        ++Broken;
        return;
      }
      const uint8_t letter = (*x.Data)[2];
      if (letter == qx25::kReadParamRequest.Letter) ++ReadsSeen;
      if (letter == qx25::kWriteParamRequest.Letter) ++WritesSeen;
      if (letter == qx25::kStatusRequest.Letter) {
        ++PollsSeen;
        WorkersAtPoll = ReadsSeen + WritesSeen;
      }
      const bool refused = letter != qx25::kStatusRequest.Letter && x.Data->size() > 3 &&
                           (*x.Data)[3] == qx25::kCodeCharBase + kRefusedCode;
      if (x.Applied != (refused ? Fault::Refuse : Fault::None)) ++WrongFaults;
    });
  }

  // A value both the catalog's and the controller's digit counts carry, the
  // code's own where it fits.
  static int64_t ValueOf(const CParameter& P) {
    const int digits = std::min<int>(P.Digits, qx25::ParamDigits.at(static_cast<size_t>(P.Code)));
    return P.Code % qx25::PowerOfTen(digits);
  }
  // What a read of P must give: a password code reads as the confirmation of
  // the last password operation (none here).
  static int64_t ExpectedRead(const CParameter& P) {
    if (P.Code == kRefusedCode) return -1;
    if (P.Code == qx25::kPasswordCode) return qx25::sim::kConfirmNone;
    return ValueOf(P);
  }

  CTRKParameters Catalog;
  std::vector<CParameter> Reads, Writes;
  std::atomic<int> Broken{0}, ReadsSeen{0}, WritesSeen{0}, PollsSeen{0}, WrongFaults{0};
  std::atomic<int> WorkersAtPoll{0};  // the workers' requests seen before the last poll
};

TEST_P(SharedDriver, ThreeCallersOnOnePortEachGetTheirOwnReplies) {
  std::mutex lock;
  std::condition_variable changed;
  int workersLeft = 2, polls = 0;
  const auto pollsSoFar = [&] {
    std::lock_guard<std::mutex> hold(lock);
    return polls;
  };
  const auto workerDone = [&] {
    std::lock_guard<std::mutex> hold(lock);
    --workersLeft;
    changed.notify_all();
  };
  std::atomic<int> wrongReads{0}, wrongWrites{0}, wrongPolls{0}, failures{0};
  int mostAheadOfPoll = 0;
  int reads = 0, writes = 0;

  std::thread reader([&] {
    for (int round = 0; round < kRounds || pollsSoFar() < kMinPolls; ++round)
      for (const CParameter& p : Reads) try {
          ++reads;
          const int64_t v = D().ReadParam(lmParameter, kPort, kAddress, p.Code, p.Digits);
          if (v != ExpectedRead(p)) ++wrongReads;
        } catch (const std::exception&) {
          ++failures;
        }
    workerDone();
  });
  std::thread writer([&] {
    for (int round = 0; round < kRounds || pollsSoFar() < kMinPolls; ++round)
      for (const CParameter& p : Writes) try {
          ++writes;
          const bool ok =
              D().WriteParam(lmParameter, kPort, kAddress, p.Code, p.Digits, ValueOf(p));
          if (ok != (p.Code != kRefusedCode)) ++wrongWrites;
        } catch (const std::exception&) {
          ++failures;
        }
    workerDone();
  });
  std::thread host([&] {
    std::unique_lock<std::mutex> hold(lock);
    while (workersLeft > 0) {
      hold.unlock();
      try {
        const int before = ReadsSeen + WritesSeen;
        const TNozzlePoll p = D().PollNozzle(kPort, kNozzle, 1);
        if (p.State != qx25::kCodeNozzleLifted + 1 || p.Codes[0] != p.State) ++wrongPolls;
        mostAheadOfPoll = std::max(mostAheadOfPoll, WorkersAtPoll - before);
      } catch (const std::exception&) {
        ++failures;
      }
      hold.lock();
      ++polls;
      changed.wait_for(hold, kPollEvery, [&] { return workersLeft == 0; });
    }
  });
  reader.join();
  writer.join();
  host.join();

  EXPECT_EQ(failures, 0);
  EXPECT_EQ(wrongReads, 0);
  EXPECT_EQ(wrongWrites, 0);
  EXPECT_EQ(wrongPolls, 0);
  EXPECT_GE(polls, kMinPolls);
  // The port goes to its callers in turn: a poll waits at most for the
  // command running and one of the other worker's, never for a whole loop.
  EXPECT_LE(mostAheadOfPoll, 2);
  EXPECT_EQ(reads % static_cast<int>(Reads.size()), 0);
  EXPECT_EQ(writes % static_cast<int>(Writes.size()), 0);

  // The controllers saw every request, each whole and well formed, and
  // refused only the one code. Every request was answered, so the observer
  // has run for each by the time its caller got the reply.
  EXPECT_EQ(Broken, 0);
  EXPECT_EQ(ReadsSeen, reads);
  EXPECT_EQ(WritesSeen, writes);
  EXPECT_EQ(PollsSeen, polls);
  EXPECT_EQ(WrongFaults, 0);
}

INSTANTIATE_TEST_SUITE_P(Line, SharedDriver, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
