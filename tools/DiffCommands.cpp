// diff: a controller against a parameter file, or two files against each
// other, code by code in the catalog's terms.
#include <cstdio>
#include <memory>

#include "ParamWork.h"
#include "Stop.h"
#include "Toolbox.h"
#include "params/IniFile.h"

namespace qx25::tools {

namespace {

struct DiffArgs {
  int Address = 1;
  std::vector<std::string> Files;
  bool Settings = false;
  bool Force = false;
  CTRKParameters Catalog;
  Values Second;  // the last file's values
};

constexpr const char* kNotInFile = "(not in the file)";

// Compared only as write-all would take it: a file it refuses holds no values
// to compare, and would show every code as missing.
void CheckFile(const std::string& Path, const CTRKParameters& Catalog, bool Force) {
  const std::string problem = TIniFile::Unusable(Path);
  if (!problem.empty()) throw BadArguments(Path + ": " + problem + "; give a .par file");
  CheckParameterFile(Path, Catalog, Force, "nothing compared",
                     "correct the file (write-all refuses it too), or give --force to compare "
                     "values outside the limits and to pass over unknown keys and repeated "
                     "codes (the first one counts), as write-all --force does");
}

}  // namespace

void AddDiffCommand(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "diff",
      "Compare the controller at --address with a parameter file, or two files; list the codes "
      "whose values differ. Exit status 0 when equal, 1 when they differ");
  auto a = std::make_shared<DiffArgs>();
  sub->add_option("FILE", a->Files, "A parameter file; with two, the files are compared")
      ->required()
      ->expected(1, 2)
      ->check(CLI::ExistingFile);
  AddAddressOption(*sub, a->Address);
  AddSettingsFlag(*sub, a->Settings);
  sub->add_flag("--force", a->Force,
                "Take a file as write-all --force does: values outside the limits, unknown keys, "
                "repeated codes (the first one counts)");
  Command c;
  c.What.Failing = "reading the parameters";
  c.Validate = [a] {
    a->Catalog.Fill();
    for (const std::string& f : a->Files) CheckFile(f, a->Catalog, a->Force);
    a->Second = ValuesOfFile(a->Files.back(), a->Catalog);
  };
  c.Body = [a, &Ctx](Session& S, Node& R) {
    const bool twoFiles = a->Files.size() == 2;
    std::vector<std::string> problems;
    Values first;
    if (twoFiles) {
      first = ValuesOfFile(a->Files.front(), a->Catalog);
    } else {
      Progress progress(a->Catalog.Count() - kBulkFirst);
      int step = 0;
      first = ReadController(
          S, a->Address, a->Catalog, a->Settings,
          [&](const CParameter& P) {
            progress.Step(++step, "code " + std::to_string(P.Code) + " " + P.Caption);
          },
          problems);
      progress.Finish();
    }
    const params::TComparison compared =
        params::CompareValues(a->Catalog, first, a->Second, a->Settings, !twoFiles);
    R = Node::Array();
    for (const params::TDifference& d : compared.Differ) {
      const CParameter& p = a->Catalog.Items(d.Index);
      Node row = Node::Object();
      row.Add("code", Node::Integer(p.Code))
          .Add("caption", Node::Text(p.Caption))
          .Add("first", Node::Text(Shown(p, d.First, kNotInFile)))
          .Add("second", Node::Text(Shown(p, d.Second, kNotInFile)))
          .Add("units", Node::Text(p.Units))
          .Add("first_raw", d.First ? Node::Integer(*d.First) : Node())
          .Add("second_raw", d.Second ? Node::Integer(*d.Second) : Node());
      R.Push(std::move(row));
    }
    const std::string firstName =
        twoFiles ? a->Files.front() : "the controller at address " + std::to_string(a->Address);
    if (!Ctx.Line.Json) {
      // The table's two columns, part of the result: on stdout before the
      // rows, and alone when nothing differs. The JSON array carries only the rows.
      const std::string summary = "first: " + firstName + ", second: " + a->Files.back() + ": " +
                                  std::to_string(R.Elements().size()) + " of " +
                                  std::to_string(compared.Compared) + " code(s) differ\n";
      if (std::fputs(summary.c_str(), stdout) < 0 || std::fflush(stdout) != 0) OutputLost();
    }
    for (const std::string& p : problems)
      std::fprintf(stderr, "qx25ctl: not compared, %s\n", p.c_str());
    if (!problems.empty()) return static_cast<int>(kExitLine);
    return static_cast<int>(R.Elements().empty() ? kExitOk : kExitDiffer);
  };
  // Two files need no line: whether one is opened is known once FILE is parsed.
  sub->fallthrough();
  sub->callback([&Ctx, a, c] {
    Command run = c;
    run.NeedsLine = a->Files.size() < 2;
    Ctx.Action = [&Ctx, run] { return RunCommand(Ctx.Line, run); };
  });
}

}  // namespace qx25::tools
