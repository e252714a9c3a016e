#include "StationRound.h"

#include <algorithm>
#include <chrono>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qx25::bench {

StationRound::StationRound(int Count) : Station(Count), Driver(GetQX25(0, 0, &Lines)) {
  for (int k = 1; k <= LineCount(); ++k) {
    Lines.SetDevicePath(static_cast<uint8_t>(k), Station.DevicePath(k));
    if (Driver->SetupPort(k) != 0)
      throw std::runtime_error("cannot open line " + std::to_string(k));
  }
}

// Every delivery a round starts is forgotten, so the next round starts it
// again from an idle nozzle.
void StationRound::Reset() {
  for (int k = 1; k <= LineCount(); ++k) {
    sim::Simulator& controllers = Station.Simulator(k).Simulator();
    for (int address = sim::kSimFirstAddress; address <= sim::kSimLastAddress; ++address) {
      controllers.RemoveController(address);
      controllers.AddController(address);
      controllers.SetTotaliser(address, sim::kSimTotaliser);
    }
    controllers.ClearHistory();
  }
}

RatioRow StationRound::Measure(int Runs) {
  const std::string name = std::to_string(LineCount()) + "-line station round";
  std::vector<RunFigures> runs;
  for (int i = 0; i < Runs; ++i) {
    Reset();
    const size_t count = static_cast<size_t>(LineCount());
    std::vector<std::string> wrong(count);
    std::vector<uint64_t> failed(count);
    std::latch go(1);
    std::vector<std::thread> threads;
    for (int k = 1; k <= LineCount(); ++k)
      threads.emplace_back([&, k] {
        StationLine line(k, Work);
        const size_t at = static_cast<size_t>(k - 1);
        go.wait();
        wrong[at] = line.Round(*Driver);
        failed[at] = line.Failures();
      });
    const auto start = std::chrono::steady_clock::now();
    go.count_down();
    for (std::thread& t : threads) t.join();
    const auto end = std::chrono::steady_clock::now();

    RunFigures run;
    run.Wall = std::chrono::duration<double>(end - start).count();
    for (int k = 1; k <= LineCount(); ++k) {
      const size_t at = static_cast<size_t>(k - 1);
      if (!wrong[at].empty()) throw std::runtime_error(name + ": " + wrong[at]);
      if (failed[at] > 0)
        throw std::runtime_error(name + ": an exchange failed on line " + std::to_string(k));
      const RunFigures line = CountWire(Station.Simulator(k).Simulator());
      run.Exchanges += line.Exchanges;
      run.Bytes += line.Bytes;
      run.Wire = std::max(run.Wire, line.Wire);
    }
    runs.push_back(run);
  }
  return Summarize(name, runs);
}

}  // namespace qx25::bench
