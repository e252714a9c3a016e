// The bulk range of the catalog at once: read-all (optionally kept as a
// parameter file) and write-all (from a parameter file).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "WriteRun.h"
#include "Toolbox.h"
#include "params/IniFile.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

namespace {

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
      const RowStatus status = tally.Stopping() ? tally.NotTried() : tally.Run([&] {
        S.Doing({"reading code " + std::to_string(p.Code), ""});
        raw = ReadValue(S, a->Address, p.Code);
        p.Value = raw;
        p.ReadText = p.ValueToText(raw);
        return RowStatus{kRowRead, ""};
      });
      p.ReadError = raw < 0;
      rows.Push(BulkRow(p, raw < 0 ? std::nullopt : std::optional<int64_t>(raw), status));
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
  FileToWrite Loaded;
};

void AddWriteAll(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "write-all", "Write the bulk range from a parameter file, each value read back");
  auto a = std::make_shared<WriteAllArgs>();
  sub->add_option("FILE", a->File, "Parameter file (INI, section [Parametr], code=raw value)")
      ->required()
      ->check(CLI::ExistingFile);
  AddAddressOption(*sub, a->Address);
  AddForceFileFlag(*sub, a->Force);
  Command c;
  c.Validate = [a] { a->Loaded = LoadFileToWrite(a->File, a->Force, "nothing sent"); };
  c.Body = [a](Session& S, Node& R) {
    Progress progress(a->Loaded.Catalog.Count() - kBulkFirst);
    WriteCounts counts;
    int status = kExitOk;
    Node rows = WriteFileTo(S, a->Address, a->Loaded, counts, status,
                            [&](int Step, const CParameter& P) { progress.Step(Step, Described(P)); });
    progress.Finish();
    R.Add("address", Node::Integer(a->Address))
        .Add("file", Node::Text(a->File))
        .Add("parameters", std::move(rows))
        .Add("summary", CountsNode(counts));
    return status;
  };
  OnRun(*sub, Ctx, std::move(c));
}

}  // namespace

void AddBulkCommands(CLI::App& App, Context& Ctx) {
  AddReadAll(App, Ctx);
  AddWriteAll(App, Ctx);
}

}  // namespace qx25::tools
