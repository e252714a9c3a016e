// What a file written by qx25ctl says about where its values came from.
#include "ParamWork.h"
#include "programs/ProgramVersion.h"
#include "Stop.h"
#include "Toolbox.h"
#include "driver/protocol/Protocol.h"
#include "params/IniFile.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

TFileInfo FileInfoOf(Session& S, int Address) {
  TFileInfo info;
  // "qx25ctl 2.41\nlibqx25 driver: v2.41#...": the program, and the driver's
  // version without its description.
  const std::string version = VersionText();
  const size_t eol = version.find('\n');
  info.Program = version.substr(0, eol);
  if (eol != std::string::npos) {
    const size_t colon = version.find(": ", eol);
    if (colon != std::string::npos)
      info.Driver = version.substr(colon + 2, version.find('#', colon) - colon - 2);
  }
  info.Port = S.Port();
  info.Line = S.LineName();
  info.Address = Address;
  return info;
}

Values ValuesOfFile(const std::string& Path, const CTRKParameters& Catalog) {
  const TIniFile ini(Path);
  if (!ini.Problem().empty()) throw BadArguments(Path + ": " + ini.Problem());
  return params::ValuesOfFile(ini, Catalog);
}

void AddSettingsFlag(CLI::App& Sub, bool& Settings) {
  Sub.add_flag("--settings", Settings,
               "Compare only what write-all writes: leave out counters and readings, which "
               "differ on any working station");
}

std::string Shown(const CParameter& P, const std::optional<int64_t>& Raw, const char* Absent) {
  return Raw ? ValueText(&P, *Raw) : Absent;
}

Values ReadController(Session& S, int Address, const CTRKParameters& Catalog, bool Settings,
                      const std::function<void(const CParameter&)>& Show,
                      std::vector<std::string>& Problems) {
  Values out(static_cast<size_t>(Catalog.Count()));
  int inARow = 0;
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
    if (!Compared(Catalog, i, Settings)) continue;
    const CParameter& p = Catalog.Items(i);
    const std::string code = "code " + std::to_string(p.Code) + ": ";
    if (StopStatus() != 0) {
      Problems.push_back(code + "not tried: stopped");
      continue;
    }
    if (inARow >= kMaxLineFailuresInARow) {
      Problems.push_back(code + "not tried: the controller is not answering");
      continue;
    }
    if (Show) Show(p);
    S.Doing(
        {"reading code " + std::to_string(p.Code) + " at address " + std::to_string(Address), ""});
    try {
      out[static_cast<size_t>(i)] = ReadValue(S, Address, p.Code);
      inARow = 0;
    } catch (const Refused& e) {
      inARow = 0;
      Problems.push_back(code + RefusalMeaning(e.Status));
    } catch (const ESerialIO& e) {
      ++inARow;
      Problems.push_back(code + S.Describe(e.what()));
    } catch (const LineFailure& e) {
      ++inARow;
      Problems.push_back(code + e.what());
    }
  }
  return out;
}

std::vector<int> ParseAddressList(const std::string& Text) {
  std::vector<int> out;
  const auto number = [&Text](const std::string& Item) {
    if (Item.empty() || Item.size() > 2 ||
        Item.find_first_not_of("0123456789") != std::string::npos)
      throw BadArguments("--addresses \"" + Text + "\": \"" + Item +
                         "\" is no address 1..99 (give for example 1-8 or 1,3,5)");
    const int value = std::stoi(Item);
    if (value < kMinNetAddress || value > kMaxNetAddress)
      throw BadArguments("--addresses: " + Item + " is out of range 1..99");
    return value;
  };
  size_t at = 0;
  while (at <= Text.size()) {
    const size_t comma = std::min(Text.find(',', at), Text.size());
    const std::string item = Text.substr(at, comma - at);
    const size_t dash = item.find('-');
    const int first = number(item.substr(0, dash));
    const int last = dash == std::string::npos ? first : number(item.substr(dash + 1));
    if (last < first) throw BadArguments("--addresses: " + item + " runs backwards");
    for (int a = first; a <= last; ++a) {
      for (const int seen : out)
        if (seen == a) throw BadArguments("--addresses: " + std::to_string(a) + " is given twice");
      out.push_back(a);
    }
    at = comma + 1;
  }
  return out;
}

}  // namespace qx25::tools
