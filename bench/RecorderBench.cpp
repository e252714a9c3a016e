// qx25-record-bench: the host CPU one recorded exchange costs, the trace's
// two records through Recorder::Take: the request named, the line formatted
// and written. Google Benchmark flags apply.
//
//   qx25-record-bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// The exchanges are a station's usual ones: a status poll and a delivery's
// current-volume poll, each reply taken in three reads, a refused preset and
// a time-out. "file" writes a regular file in $TMPDIR (rotated at the default
// cap, as at a station); "null" writes /dev/null, which leaves the formatting
// and the system call's entry alone. Threads record on a port each, as the
// station's line threads do.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "record/Recorder.h"
#include "record/RecordingFormat.h"

namespace {

using namespace qx25;

// Exchanges as a station recording holds them.
constexpr const char* kExchanges[] = {
    "2026-12-08T15:39:20.607Z COM2 ok answered code=0 -> 7F 02 21 5E 31 4E 03 03 53 <- @21.2 02 "
    "@58.9 30 4F 30 4F 00 7F 30 4F 30 4F 30 4F 30 4F 30 4F 03 03 @60.8 73 # состояние",
    "2026-12-08T15:39:20.974Z COM1 ok answered code=0 -> 7F 02 21 5E 34 4B 03 03 56 <- @21.0 02 "
    "@71.1 34 4B 30 4F 30 4F 30 4F 30 4F 30 4F 30 4F 30 4F 30 4F 30 4F 36 49 03 03 @73.1 71 "
    "# текущий налив",
    "2026-12-08T15:39:20.668Z COM1 ok refused code=0 -> 7F 02 21 5E 54 2B 30 4F 30 4F 30 4F 30 4F "
    "36 49 03 03 40 <- @41.9 18 # предустановка",
    "2026-12-08T15:39:20.710Z COM2 time-out failed code=-1 -> 7F 02 21 5E 32 4D 03 03 50 <- # пуск",
};

struct TraceExchange {
  std::vector<uint8_t> Request, Reply;
  std::vector<double> Arrivals;
  int32_t Result;
};

std::vector<TraceExchange> Exchanges() {
  std::vector<TraceExchange> out;
  for (const char* line : kExchanges) {
    std::string why;
    const auto x = record::ParseExchange(line, why);
    if (!x) throw std::runtime_error(why);
    TraceExchange t{x->Request, {}, {}, x->Verdict == "ok" ? 0 : serial::kSerialTimeout};
    for (const record::ReplyBurst& burst : x->Reply)
      for (const uint8_t b : burst.Bytes) {
        t.Reply.push_back(b);
        t.Arrivals.push_back(burst.AtMs / 1000);
      }
    out.push_back(std::move(t));
  }
  return out;
}

std::shared_ptr<record::Recorder> Shared;

std::string TempFile() {
  const char* dir = std::getenv("TMPDIR");
  return (std::filesystem::path(dir != nullptr ? dir : "/tmp") /
          ("qx25-record-bench-" + std::to_string(::getpid()) + ".rec"))
      .string();
}

void Record(benchmark::State& State, const std::string& Path) {
  if (State.thread_index() == 0)
    Shared = record::Recorder::Open(Path, {"qx25-record-bench", "", {{1, "/dev/null"}}, ""});
  const std::vector<TraceExchange> exchanges = Exchanges();
  const auto port = static_cast<uint8_t>(State.thread_index() + 1);
  double seconds = 0;
  size_t k = 0;
  for (auto _ : State) {
    const TraceExchange& x = exchanges[k++ % exchanges.size()];
    Shared->Take({serial::TraceDirection::Request, seconds, port, x.Request, 0, -1});
    Shared->Take(
        {serial::TraceDirection::Reply, seconds + 0.03, port, x.Reply, x.Result, 0, x.Arrivals});
    seconds += 0.05;
  }
  State.SetItemsProcessed(State.iterations());
  if (State.thread_index() == 0) {
    if (!Shared->Failure().empty()) State.SkipWithError(Shared->Failure().c_str());
    Shared.reset();
    if (Path != "/dev/null") {
      std::error_code error;
      for (const auto& entry :
           std::filesystem::directory_iterator(std::filesystem::path(Path).parent_path(), error))
        if (entry.path().string().starts_with(Path)) std::filesystem::remove(entry.path(), error);
    }
  }
}

void RecordFile(benchmark::State& State) { Record(State, TempFile()); }
void RecordNull(benchmark::State& State) { Record(State, "/dev/null"); }

BENCHMARK(RecordFile)->Name("exchange/file")->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(RecordNull)->Name("exchange/null")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
