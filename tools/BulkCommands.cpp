// The bulk range of the catalog at once: read-all (optionally kept as a
// parameter file) and write-all (from a parameter file).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ParamWork.h"
#include "Stop.h"
#include "Toolbox.h"
#include "params/IniFile.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

namespace {

// How a run over the bulk range went, entry by entry, and the exit status it
// earns: a line failure outweighs a refusal.
class Tally {
 public:
  explicit Tally(Session& Line) : S(Line) {}

  // Runs one entry's exchange; returns its status text.
  template <typename Fn>
  std::string Run(Fn&& Exchange) {
    if (InARow >= kMaxLineFailuresInARow) {
      ++LineErrors;
      return "not tried: the line is not answering";
    }
    try {
      std::string status = Exchange();
      InARow = 0;
      return status;
    } catch (const Refused& e) {
      InARow = 0;
      ++Refusals;
      return std::string(RefusalMeaning(e.Status)) + " (PortStatus " + std::to_string(e.Status) +
             ")";
    } catch (const ESerialIO& e) {
      return LineError(S.Describe(e.what()));
    } catch (const LineFailure& e) {
      return LineError(e.what());
    }
  }
  void NotTaken() { ++Refusals; }
  // Whether the run is to stop before the next entry (Ctrl-C, a closed
  // output); the entries it leaves are counted as not tried.
  bool Stopping() const { return StopStatus() != 0; }
  std::string NotTried() {
    ++Untried;
    return StopSignalled() ? "not tried: interrupted" : "not tried: the output was closed";
  }
  int Failures() const { return LineErrors + Refusals + Untried; }
  int RefusedCount() const { return Refusals; }
  int FailedCount() const { return LineErrors; }
  int UntriedCount() const { return Untried; }
  int Status() const {
    if (StopStatus()) return StopStatus();
    return LineErrors ? kExitLine : Refusals ? kExitRefused : kExitOk;
  }

 private:
  std::string LineError(const std::string& What) {
    ++LineErrors;
    ++InARow;
    return "line error: " + What;
  }

  Session& S;
  int LineErrors = 0;
  int Refusals = 0;
  int Untried = 0;
  int InARow = 0;
};

// One row of the table, with the entry's status.
Node Row(const CParameter& P, std::optional<int64_t> Raw, const std::string& Status) {
  return ValueRow(&P, P.Code, Raw).Add("status", Node::Text(Status));
}

std::string Described(const CParameter& P) {
  return "code " + std::to_string(P.Code) + " " + P.Caption;
}

struct ReadAllArgs {
  int Address = 1;
  std::string Save;
};

void AddReadAll(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "read-all", "Read every parameter of the bulk range (codes 2, 3, 5..45) and show a table");
  auto a = std::make_shared<ReadAllArgs>();
  AddAddressOption(*sub, a->Address);
  auto* save = sub->add_option("--save", a->Save, "Keep the values as a parameter file (FILE.par)");
  Command c;
  c.What.Failing = "reading the parameters";
  c.Validate = [a, save] {
    if (save->count() > 0 && a->Save.empty())
      throw BadArguments("--save needs a file name, for example station.par");
    if (a->Save.empty()) return;
    const std::filesystem::path dir = std::filesystem::absolute(a->Save).parent_path();
    if (!std::filesystem::is_directory(dir))
      throw BadArguments("--save: no directory " + dir.string());
    // Checked before anything is read from the controller: only a regular
    // file (or a new one) is kept as a parameter file.
    const std::string problem = TIniFile::Unusable(a->Save);
    if (!problem.empty())
      throw BadArguments("--save " + a->Save + ": " + problem + "; give the name of a .par file");
  };
  c.Body = [a](Session& S, Node& R) {
    CTRKParameters catalog;
    catalog.Fill();
    Tally tally(S);
    Progress progress(catalog.Count() - kBulkFirst);
    Node rows = Node::Array();
    for (int i = kBulkFirst; i < catalog.Count(); ++i) {
      CParameter& p = catalog.Items(i);
      progress.Step(i - kBulkFirst + 1, Described(p));
      int64_t raw = -1;
      const std::string status = tally.Stopping() ? tally.NotTried() : tally.Run([&] {
        S.Doing({"reading code " + std::to_string(p.Code), ""});
        raw = ReadValue(S, a->Address, p.Code);
        p.Value = raw;
        p.ReadText = p.ValueToText(raw);
        return std::string("ok");
      });
      p.ReadError = raw < 0;
      rows.Push(Row(p, raw < 0 ? std::nullopt : std::optional<int64_t>(raw), status));
    }
    progress.Finish();
    R.Add("address", Node::Integer(a->Address)).Add("parameters", std::move(rows));
    int status = tally.Status();
    if (!a->Save.empty()) {
      TFileInfo info = FileInfoOf(S, a->Address);
      for (int i = kBulkFirst; i < catalog.Count(); ++i)
        if (catalog.Items(i).ReadError) info.Unread.push_back(catalog.Items(i).Code);
      // A file must hold only what the controller has: the codes not read
      // are left out of it (and listed in [Info]), so that no initial value
      // of the catalog passes for the controller's. Nothing read, or a run
      // cut short, writes nothing.
      const int read = catalog.Count() - kBulkFirst - static_cast<int>(info.Unread.size());
      if (read == 0 || tally.UntriedCount()) {
        std::fprintf(stderr, "qx25ctl: %s not written: %s\n", a->Save.c_str(),
                     read == 0 ? "no parameter could be read" : "the reading was cut short");
        R.Add("saved", Node::Bool(false));
      } else {
        try {
          SaveParameterFile(catalog, a->Save, info);
          R.Add("saved", Node::Text(a->Save));
          if (!info.Unread.empty())
            std::fprintf(stderr,
                         "qx25ctl: %s leaves out %zu parameter(s) that could not be read; read "
                         "them again once the line and the controller answer\n",
                         a->Save.c_str(), info.Unread.size());
        } catch (const std::runtime_error& e) {
          std::fprintf(stderr, "qx25ctl: %s; %s\n", e.what(), kFileHint);
          R.Add("saved", Node::Bool(false));
          status = kExitFile;
        }
      }
    }
    return status;
  };
  OnRun(*sub, Ctx, std::move(c));
}

struct WriteAllArgs {
  int Address = 1;
  bool Force = false;
  std::string File;
  CTRKParameters Catalog;
  std::vector<bool> InFile;  // by catalog index
};

void AddWriteAll(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "write-all", "Write the bulk range from a parameter file, each value read back");
  auto a = std::make_shared<WriteAllArgs>();
  sub->add_option("FILE", a->File, "Parameter file (INI, section [Parametr], code=raw value)")
      ->required()
      ->check(CLI::ExistingFile);
  AddAddressOption(*sub, a->Address);
  sub->add_flag("--force", a->Force,
                "Send values outside the catalog's limits too, and pass over keys that are no "
                "parameter code and codes given again (the first one counts)");
  Command c;
  c.Validate = [a] {
    // Every value is checked before the first is sent, so that a bad file
    // leaves the controller as it was.
    a->Catalog.Fill();
    CheckParameterFile(a->File, a->Catalog, a->Force, "nothing sent",
                       "correct the file, or give --force to send values outside the limits and "
                       "to pass over unknown keys and repeated codes (the first one counts)");
    // The values as the service window loads them: the first of repeated keys.
    const TIniFile ini(a->File);
    LoadParameterFile(a->Catalog, a->File);
    a->InFile.assign(static_cast<size_t>(a->Catalog.Count()), false);
    for (int i = kBulkFirst; i < a->Catalog.Count(); ++i) {
      const std::string key = std::to_string(a->Catalog.Items(i).Code);
      a->InFile[static_cast<size_t>(i)] = !ini.ReadString(kParameterSection, key, "").empty();
    }
    // A run that writes nothing must not pass for a restored controller.
    if (std::find(a->InFile.begin(), a->InFile.end(), true) == a->InFile.end())
      throw BadArguments(a->File + ": the section [" + kParameterSection +
                         "] holds no parameter; nothing sent");
  };
  c.Body = [a](Session& S, Node& R) {
    Tally tally(S);
    Progress progress(a->Catalog.Count() - kBulkFirst);
    Node rows = Node::Array();
    int written = 0, leftOut = 0;
    for (int i = kBulkFirst; i < a->Catalog.Count(); ++i) {
      const CParameter& p = a->Catalog.Items(i);
      progress.Step(i - kBulkFirst + 1, Described(p));
      std::string status;
      if (p.SkipOnWriteAll) {
        status = "skipped (not written by write-all)";
        ++leftOut;
      } else if (!a->InFile[static_cast<size_t>(i)]) {
        status = "not in the file";
        ++leftOut;
      } else if (tally.Stopping()) {
        status = tally.NotTried();
      } else {
        status = tally.Run([&] {
          S.Doing({"writing code " + std::to_string(p.Code), "the write",
                   "qx25ctl read-param " + std::to_string(p.Code)});
          const std::optional<int64_t> back = WriteValue(S, a->Address, p, p.Value);
          if (!back || *back == p.Value) {
            ++written;
            return std::string("written");
          }
          tally.NotTaken();
          return "not taken: read back " + ValueText(&p, *back);
        });
      }
      const bool known = a->InFile[static_cast<size_t>(i)];
      rows.Push(Row(p, known ? std::optional<int64_t>(p.Value) : std::nullopt, status));
    }
    progress.Finish();
    R.Add("address", Node::Integer(a->Address))
        .Add("file", Node::Text(a->File))
        .Add("parameters", std::move(rows))
        .Add("summary",
             Node::Text(
                 std::to_string(written) + " written, " + std::to_string(tally.RefusedCount()) +
                 " refused, " + std::to_string(tally.FailedCount()) + " failed, " +
                 std::to_string(leftOut) + " left out" +
                 (tally.UntriedCount() ? ", " + std::to_string(tally.UntriedCount()) + " not tried"
                                       : std::string())));
    return tally.Status();
  };
  OnRun(*sub, Ctx, std::move(c));
}

}  // namespace

void AddBulkCommands(CLI::App& App, Context& Ctx) {
  AddReadAll(App, Ctx);
  AddWriteAll(App, Ctx);
}

}  // namespace qx25::tools
