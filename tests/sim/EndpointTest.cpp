// The simulator on a real pseudo-terminal: a frame written to the slave side
// is answered there, with and without pacing, across a host closing and
// reopening the port. Waits are for bytes, bounded by a generous deadline
// that only a broken line reaches.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "SimTestSupport.h"
#include "sim/Endpoint.h"
#include "terminal/Terminal.h"

using namespace qx25;
using namespace qx25::sim;
using namespace simtest;

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

class Port {
 public:
  explicit Port(const std::string& Path) : Fd(terminal::OpenRaw(Path, B4800).Fd) {}
  ~Port() {
    if (Fd >= 0) ::close(Fd);
  }
  bool Open() const { return Fd >= 0; }

  bool Write(const Bytes& Data) {
    return ::write(Fd, Data.data(), Data.size()) == static_cast<ssize_t>(Data.size());
  }
  // Reads until Count bytes have come, or until the bytes so far make a
  // reply a host accepts (Count 0), or the line stays quiet too long.
  Bytes Read(size_t Count) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (Count > 0 ? got.size() < Count : !AnyPrefixAccepted(got)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{Fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buffer[64];
      const ssize_t n = ::read(Fd, buffer, sizeof buffer);
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

 private:
  int Fd;
};

TEST(Line, AnswersOnAPseudoTerminal) {
  Simulator sim;
  sim.AddController(1);
  EndpointOptions options;
  options.Pacing = false;
  Endpoint line(sim, options);
  const std::string path = line.OpenPseudoTerminal();
  EXPECT_EQ(line.DevicePath(), path);
  line.Start();
  EXPECT_TRUE(line.Running());

  {
    Port port(path);
    ASSERT_TRUE(port.Open());
    // Noise and a broken frame before the request are ignored.
    Bytes stream{0x00, 0x7F, 0x02, 0x21};
    const Bytes preset = RequestFrame(RequestData(1, 'T', "00025"));
    stream.insert(stream.end(), preset.begin(), preset.end());
    ASSERT_TRUE(port.Write(stream));
    EXPECT_EQ(port.Read(1), kAckReply);
  }
  // The host closed its port; the line is still there when it comes back.
  {
    Port port(path);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.Write(RequestFrame(RequestData(1, '1'))));
    const Bytes e = ReplyData(port.Read(20), 8);
    ASSERT_EQ(e.size(), 8u);
    EXPECT_EQ(e[0], '2');
  }
  line.Stop();
  EXPECT_FALSE(line.Running());
  EXPECT_EQ(line.Failure(), "");
}

TEST(Line, PacesRepliesAndInjectsFaults) {
  Simulator sim;
  sim.AddController(16);
  EndpointOptions options;
  options.Baud = 115200;
  options.Turnaround = std::chrono::microseconds(100);
  Endpoint line(sim, options);
  const std::string path = line.OpenPseudoTerminal();
  line.Start();
  Port port(path);
  ASSERT_TRUE(port.Open());

  ASSERT_TRUE(port.Write(RequestFrame(RequestData(16, '6'))));
  ReplyData(port.Read(36), 16);

  sim.InjectFault(Fault::Noise);
  ASSERT_TRUE(port.Write(RequestFrame(RequestData(16, '6'))));
  const Bytes noisy = port.Read(0);
  EXPECT_TRUE(AnyPrefixAccepted(noisy));
  const std::vector<Exchange> history = sim.History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].Applied, Fault::Noise);
  EXPECT_EQ(noisy, history[1].Sent);

  // A common command gets no reply: wait for the simulator to have seen it.
  const uint64_t seen = sim.ExchangeCount();
  ASSERT_TRUE(port.Write(RequestFrame({0x02, 'W', '4', '0'})));
  ASSERT_TRUE(sim.WaitForExchanges(seen + 1, kPatience));
  ASSERT_EQ(sim.CommonCommands().size(), 1u);
  EXPECT_EQ(sim.CommonCommands()[0].Command, 4);

  line.Stop();
  // Started again on the same terminal, it answers again.
  line.Start();
  ASSERT_TRUE(port.Write(RequestFrame(RequestData(16, 'U'))));
  EXPECT_EQ(port.Read(1), kAckReply);
}

TEST(Line, RefusesToStartWithoutALine) {
  Simulator sim;
  Endpoint line(sim);
  EXPECT_THROW(line.Start(), std::logic_error);
  EXPECT_THROW(Endpoint(sim, EndpointOptions{0, true, {}}), std::invalid_argument);
  EndpointOptions odd;
  odd.Baud = 1000;
  Endpoint device(sim, odd);
  EXPECT_THROW(device.OpenDevice("/dev/null"), std::invalid_argument);
  Endpoint missing(sim);
  EXPECT_THROW(missing.OpenDevice("/nonexistent/tty"), std::system_error);
  EXPECT_THROW(missing.OpenDevice("/dev/null"), std::system_error);  // not a terminal
}

}  // namespace
