// A run over the bulk range, entry by entry: what each exchange came to, as
// a fixed status word and a message, and the counts and exit status the run
// earns. write-all and provision write a parameter file with it, read-all
// reads with it.
#pragma once

#include <string>
#include <vector>

#include "ParamWork.h"
#include "Stop.h"

namespace qx25::tools {

// The status words of a row, which scripts read; the message says the rest.
inline constexpr const char* kRowRead = "read";
inline constexpr const char* kRowWritten = "written";
inline constexpr const char* kRowRefused = "refused";
inline constexpr const char* kRowFailed = "failed";
inline constexpr const char* kRowSkipped = "skipped";
inline constexpr const char* kRowNotTried = "not-tried";

struct RowStatus {
  std::string Word;
  std::string Message;
};

// How a run went, entry by entry: a line failure outweighs a refusal.
class Tally {
 public:
  explicit Tally(Session& Line) : S(Line) {}

  // Runs one entry's exchange, which returns its status.
  template <typename Fn>
  RowStatus Run(Fn&& Exchange) {
    if (InARow >= kMaxLineFailuresInARow) {
      ++LineErrors;
      return {kRowNotTried, "the line is not answering"};
    }
    try {
      RowStatus status = Exchange();
      InARow = 0;
      return status;
    } catch (const Refused& e) {
      InARow = 0;
      ++Refusals;
      return {kRowRefused, std::string(RefusalMeaning(e.Status)) + " (PortStatus " +
                               std::to_string(e.Status) + ")"};
    } catch (const ESerialIO& e) {
      return LineError(S.Describe(e.what()));
    } catch (const LineFailure& e) {
      return LineError(e.what());
    }
  }
  // A value written and read back as another: the controller did not take it.
  void NotTaken() { ++Refusals; }
  // Whether the run is to stop before the next entry (Ctrl-C, a closed
  // output); the entries it leaves are counted as not tried.
  bool Stopping() const { return StopStatus() != 0; }
  RowStatus NotTried() {
    ++Untried;
    return {kRowNotTried, StopSignalled() ? "interrupted" : "the output was closed"};
  }
  int RefusedCount() const { return Refusals; }
  int FailedCount() const { return LineErrors; }
  int UntriedCount() const { return Untried; }
  int Status() const {
    if (StopStatus()) return StopStatus();
    return LineErrors ? kExitLine : Refusals ? kExitRefused : kExitOk;
  }

 private:
  RowStatus LineError(const std::string& What) {
    ++LineErrors;
    ++InARow;
    return {kRowFailed, What};
  }

  Session& S;
  int LineErrors = 0;
  int Refusals = 0;
  int Untried = 0;
  int InARow = 0;
};

// One row of a bulk table: the entry's value and its status.
Node BulkRow(const CParameter& P, std::optional<int64_t> Raw, const RowStatus& Status);

// A parameter file as write-all sends it: checked whole before anything is
// sent, its values loaded into the catalog as the service window loads them.
struct FileToWrite {
  std::string File;
  CTRKParameters Catalog;
  std::vector<bool> InFile;  // by catalog index: the file gives the code
};
// --force of the commands that write a file.
void AddForceFileFlag(CLI::App& Sub, bool& Force);
// Checks and loads File (with Force, as write-all --force takes it); Outcome
// says what a refusal means ("nothing sent"). Throws BadArguments.
FileToWrite LoadFileToWrite(const std::string& File, bool Force, const std::string& Outcome);

// How many rows of a write came to each status word.
struct WriteCounts {
  int Written = 0;
  int Refused = 0;  // refusals, and values read back as others
  int Failed = 0;
  int Skipped = 0;
  int NotTried = 0;
  int Differs = 0;  // of Refused: values read back as others
};
// The counts as an object, a member per status word.
Node CountsNode(const WriteCounts& Counts);

// Writes every code File gives to the controller at Address, each read back,
// and returns a row per code of the bulk range; Counts and the exit status
// (Tally's) tell how it went. Step is told of each code before its turn.
Node WriteFileTo(Session& S, int Address, const FileToWrite& File, WriteCounts& Counts,
                 int& Status, const std::function<void(int Step, const CParameter&)>& Step);

}  // namespace qx25::tools
