// The options both benchmark programs take, defined once.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>

namespace qx25::bench {

inline constexpr int kDefaultRuns = 5;
inline constexpr int kMaxRuns = 1000;

inline void AddRunOptions(CLI::App& App, int& Runs, bool& Quick) {
  App.add_option("--runs", Runs, "Runs of each measurement; the tables show their median")
      ->check(CLI::Range(1, kMaxRuns))
      ->capture_default_str();
  App.add_flag("--quick", Quick, "One short run, to see that everything works");
}

// Parses the command line; on a bad argument or --help, the exit status to
// return (2 for a bad argument), otherwise nothing.
inline std::optional<int> ParseOptions(CLI::App& App, int Argc, char** Argv) {
  try {
    App.parse(Argc, Argv);
  } catch (const CLI::ParseError& e) {
    return App.exit(e) == 0 ? 0 : 2;
  }
  return std::nullopt;
}

}  // namespace qx25::bench
