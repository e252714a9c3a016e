// drift: the controllers of a line against each other. Every parameter of
// each is read, and only the codes that are not the same everywhere are
// shown, a column per controller, and the value most of them have beside.
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "ParamWork.h"
#include "Stop.h"
#include "Toolbox.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

namespace {

struct DriftArgs {
  std::string AddressText = "1-4";
  std::vector<int> Addresses;
  std::string SaveDir;
  bool Settings = false;
};

// The value most controllers have; nothing on a tie.
std::optional<int64_t> Majority(const std::vector<std::optional<int64_t>>& Column) {
  std::map<int64_t, int> count;
  for (const auto& v : Column)
    if (v) ++count[*v];
  std::optional<int64_t> best;
  int most = 0;
  bool tie = false;
  for (const auto& [value, n] : count) {
    if (n > most) {
      best = value;
      most = n;
      tie = false;
    } else if (n == most) {
      tie = true;
    }
  }
  if (tie) return std::nullopt;
  return best;
}

std::string FileFor(const std::string& Dir, int Address) {
  char name[32];
  std::snprintf(name, sizeof name, "address-%02d.par", Address);
  return (std::filesystem::path(Dir) / name).string();
}

std::string Column(int Address) { return "address_" + std::to_string(Address); }

}  // namespace

void AddDriftCommand(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "drift",
      "Read every parameter of several controllers and show the codes whose values are not the "
      "same everywhere, the value most have in the column \"majority\". Exit status 0 when all agree, 1 when not");
  auto a = std::make_shared<DriftArgs>();
  sub->add_option("--addresses", a->AddressText,
                  "Network addresses of the controllers: a range 1-8, a list 1,3,5, or both")
      ->capture_default_str();
  sub->add_option("--save-dir", a->SaveDir,
                  "Keep each controller's parameters as DIR/address-NN.par");
  AddSettingsFlag(*sub, a->Settings);
  Command c;
  c.What.Failing = "reading the parameters";
  c.Validate = [a] {
    a->Addresses = ParseAddressList(a->AddressText);
    if (a->Addresses.size() < 2)
      throw BadArguments("--addresses: give at least two controllers to compare");
    if (!a->SaveDir.empty() && !std::filesystem::is_directory(a->SaveDir))
      throw BadArguments("--save-dir: no directory " + a->SaveDir);
  };
  c.Body = [a](Session& S, Node& R) {
    CTRKParameters catalog;
    catalog.Fill();
    const size_t n = a->Addresses.size();
    std::vector<Values> values;
    std::vector<bool> answered;
    Node notes = Node::Array();
    bool lineTrouble = false;
    Progress progress(static_cast<int>(n));
    for (size_t k = 0; k < n; ++k) {
      const int address = a->Addresses[k];
      const std::string at = "address " + std::to_string(address) + ": ";
      if (StopStatus() != 0) {
        // Not asked at all: its silence says nothing about the controller.
        values.emplace_back(static_cast<size_t>(catalog.Count()));
        answered.push_back(false);
        notes.Push(Node::Text(at + "not tried: " +
                              (StopSignalled() ? "interrupted" : "the output was closed")));
        continue;
      }
      std::vector<std::string> problems;
      values.push_back(ReadController(
          S, address, catalog, a->Settings,
          [&](const CParameter& P) {
            progress.Step(static_cast<int>(k + 1), "address " + std::to_string(address) +
                                                       ": code " + std::to_string(P.Code) + " " +
                                                       P.Caption);
          },
          problems));
      int read = 0;
      for (const auto& v : values.back()) read += v ? 1 : 0;
      answered.push_back(read > 0);
      if (!problems.empty()) lineTrouble = true;
      if (read == 0) {
        notes.Push(
            Node::Text(at + "did not answer; its column is empty (" + problems.front() + ")"));
        continue;
      }
      for (const std::string& p : problems) notes.Push(Node::Text(at + p));
      if (a->SaveDir.empty()) continue;
      // The file holds what was read; what was not is left out and listed.
      TFileInfo info = FileInfoOf(S, address);
      for (int i = kBulkFirst; i < catalog.Count(); ++i) {
        CParameter& p = catalog.Items(i);
        const auto& v = values.back()[static_cast<size_t>(i)];
        if (v)
          p.Value = *v;
        else
          info.Unread.push_back(p.Code);
      }
      const std::string file = FileFor(a->SaveDir, address);
      try {
        SaveParameterFile(catalog, file, info);
      } catch (const std::runtime_error& e) {
        throw FileFailure(e.what());
      }
    }
    progress.Finish();

    Node rows = Node::Array();
    for (int i = kBulkFirst; i < catalog.Count(); ++i) {
      if (!Compared(catalog, i, a->Settings)) continue;
      std::vector<std::optional<int64_t>> column;
      for (const Values& v : values) column.push_back(v[static_cast<size_t>(i)]);
      std::optional<int64_t> seen;
      bool same = true;
      for (const auto& v : column) {
        if (!v) continue;
        if (seen && *seen != *v) same = false;
        seen = v;
      }
      if (same) continue;
      const CParameter& p = catalog.Items(i);
      const std::optional<int64_t> most = Majority(column);
      Node row = Node::Object();
      row.Add("code", Node::Integer(p.Code)).Add("caption", Node::Text(p.Caption));
      for (size_t k = 0; k < n; ++k) {
        const auto& v = column[k];
        row.Add(Column(a->Addresses[k]), Node::Text(v ? ValueText(&p, *v) : ""));
      }
      // Apart from the values, so that none of them reads as another text.
      row.Add("majority", Node::Text(most ? ValueText(&p, *most) : ""));
      row.Add("units", Node::Text(p.Units));
      // The raw values beside the texts, in address order: a script needs no
      // locale's separators to read them.
      Node raw = Node::Array();
      for (const auto& v : column) raw.Push(v ? Node::Integer(*v) : Node());
      row.Add("raw", std::move(raw));
      row.Add("majority_raw", most ? Node::Integer(*most) : Node());
      rows.Push(std::move(row));
    }
    const bool differ = !rows.Elements().empty();
    R.Add("addresses", Node::Text(a->AddressText)).Add("codes_that_differ", std::move(rows));
    if (!notes.Empty()) R.Add("notes", std::move(notes));
    if (!a->SaveDir.empty()) R.Add("saved_in", Node::Text(a->SaveDir));
    if (lineTrouble) return static_cast<int>(kExitLine);
    return differ ? kExitDiffer : static_cast<int>(kExitOk);
  };
  OnRun(*sub, Ctx, std::move(c));
}

}  // namespace qx25::tools
