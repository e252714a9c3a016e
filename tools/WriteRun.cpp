#include "WriteRun.h"

#include <algorithm>

#include "params/IniFile.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

Node BulkRow(const CParameter& P, std::optional<int64_t> Raw, const RowStatus& Status) {
  return ValueRow(&P, P.Code, Raw)
      .Add("status", Node::Text(Status.Word))
      .Add("message", Node::Text(Status.Message));
}

void AddForceFileFlag(CLI::App& Sub, bool& Force) {
  Sub.add_flag("--force", Force,
               "Send values outside the catalog's limits too, and pass over keys that are no "
               "parameter code and codes given again (the first one counts)");
}

FileToWrite LoadFileToWrite(const std::string& File, bool Force, const std::string& Outcome) {
  FileToWrite f;
  f.File = File;
  // Every value is checked before the first is sent, so that a bad file
  // leaves the controller as it was.
  f.Catalog.Fill();
  CheckParameterFile(File, f.Catalog, Force, Outcome,
                     Force ? "correct the file"
                           : "correct the file, or give --force to send values outside the "
                             "limits and to pass over unknown keys and repeated codes (the first "
                             "one counts)");
  // The values as the service window loads them: the first of repeated keys.
  const TIniFile ini(File);
  LoadParameterFile(f.Catalog, File);
  f.InFile.assign(static_cast<size_t>(f.Catalog.Count()), false);
  for (int i = kBulkFirst; i < f.Catalog.Count(); ++i) {
    const std::string key = std::to_string(f.Catalog.Items(i).Code);
    f.InFile[static_cast<size_t>(i)] = !ini.ReadString(kParameterSection, key, "").empty();
  }
  // A run that writes nothing must not pass for a restored controller.
  if (std::find(f.InFile.begin(), f.InFile.end(), true) == f.InFile.end())
    throw BadArguments(File + ": the section [" + kParameterSection + "] holds no parameter; " +
                       Outcome);
  return f;
}

Node CountsNode(const WriteCounts& Counts) {
  Node n = Node::Object();
  n.Add(kRowWritten, Node::Integer(Counts.Written))
      .Add(kRowRefused, Node::Integer(Counts.Refused))
      .Add(kRowFailed, Node::Integer(Counts.Failed))
      .Add(kRowSkipped, Node::Integer(Counts.Skipped))
      .Add("not_tried", Node::Integer(Counts.NotTried));
  return n;
}

Node WriteFileTo(Session& S, int Address, const FileToWrite& File, WriteCounts& Counts,
                 int& Status, const std::function<void(int Step, const CParameter&)>& Step) {
  Tally tally(S);
  Node rows = Node::Array();
  Counts = {};
  for (int i = kBulkFirst; i < File.Catalog.Count(); ++i) {
    const CParameter& p = File.Catalog.Items(i);
    const bool given = File.InFile[static_cast<size_t>(i)];
    Step(i - kBulkFirst + 1, p);
    RowStatus status;
    if (p.SkipOnWriteAll) {
      status = {kRowSkipped, "not written by write-all"};
    } else if (!given) {
      status = {kRowSkipped, "not in the file"};
    } else if (tally.Stopping()) {
      status = tally.NotTried();
    } else {
      status = tally.Run([&] {
        const std::string code = std::to_string(p.Code);
        S.Doing({"writing code " + code, "the write",
                 "qx25ctl read-param " + code + " --address " + std::to_string(Address)});
        const std::optional<int64_t> back = WriteValue(S, Address, p, p.Value);
        if (!back || *back == p.Value) return RowStatus{kRowWritten, ""};
        tally.NotTaken();
        ++Counts.Differs;
        return RowStatus{kRowRefused, "not taken: read back " + ValueText(&p, *back) + " (raw " +
                                          std::to_string(*back) + ")"};
      });
    }
    if (status.Word == kRowWritten) ++Counts.Written;
    if (status.Word == kRowSkipped) ++Counts.Skipped;
    if (status.Word == kRowNotTried) ++Counts.NotTried;
    rows.Push(BulkRow(p, given ? std::optional<int64_t>(p.Value) : std::nullopt, status));
  }
  Counts.Refused = tally.RefusedCount();
  Counts.Failed = tally.FailedCount();
  // "not answering" entries count as failed in the tally and as not tried here.
  Counts.Failed -= Counts.NotTried - tally.UntriedCount();
  Status = tally.Status();
  return rows;
}

}  // namespace qx25::tools
