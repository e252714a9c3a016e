// The examples that the guides and the man page show are real command lines:
// each is run, against a simulated line, and none may be an argument error.
// (The guides' console blocks are run, and their output checked, by
// tests/docs.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Words(const std::string& Line) {
  std::istringstream in(Line.substr(0, Line.find('#')));
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The qx25ctl command lines of a file that start with Lead, after a line
// From: the man page's EXAMPLES (its "\-" read as "-"); in a markdown page
// (Fenced), only those inside its fenced blocks tagged sh, which are shown and
// not run otherwise.
std::vector<std::vector<std::string>> Examples(const std::string& File, const std::string& Lead,
                                               const std::string& From = {},
                                               bool Fenced = false) {
  std::ifstream in(File);
  std::vector<std::vector<std::string>> found;
  bool on = From.empty();
  bool inSh = false;
  for (std::string line; std::getline(in, line);) {
    on = on || line == From;
    if (Fenced && line.rfind("```", 0) == 0) {
      inSh = !inSh && line.rfind("```sh", 0) == 0;
      continue;
    }
    if (!on || (Fenced && !inSh) || line.rfind(Lead, 0) != 0) continue;
    for (size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
    found.push_back(Words(line.substr(Lead.size())));
  }
  return found;
}

// Puts the example on the simulated line: the built-in simulator, unpaced,
// where it asks for it; the line of Sim in place of a device; parameter
// files and recordings in Dir.
std::vector<std::string> OnSimulatedLine(std::vector<std::string> Args, const std::string& Line,
                                         const fs::path& Dir) {
  bool simulate = false;
  for (size_t i = 0; i < Args.size(); ++i) {
    if (Args[i] == "--simulate") simulate = true;
    if (Args[i] == "--device" && i + 1 < Args.size())
      Args.erase(Args.begin() + i, Args.begin() + i + 2);
    if (i < Args.size() && Args[i].size() > 4 &&
        (Args[i].ends_with(".par") || Args[i].ends_with(".rec")))
      Args[i] = (Dir / Args[i]).string();
  }
  if (simulate)
    Args.insert(Args.begin(), "--sim-unpaced");
  else if (!Args.empty() && Args[0] != "info" && Args[0] != "demo")
    Args.insert(Args.begin(), {"--device", Line});
  return Args;
}

TEST(Examples, EveryExampleOfTheGuidesAndTheManPageRuns) {
  const fs::path dir = MakeTempDir("qx25ctl-examples");
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--controllers", "1-4"});
  std::vector<std::vector<std::string>> examples;
  for (const char* page : {"/README.md", "/docs/integrator.md", "/docs/host-developer.md"}) {
    const auto shown = Examples(std::string(QX25_SOURCE_DIR) + page, "qx25ctl ", {}, true);
    examples.insert(examples.end(), shown.begin(), shown.end());
  }
  const size_t inGuides = examples.size();
  const auto page = Examples(QX25_SOURCE_DIR "/tools/qx25ctl.1", "qx25ctl ", ".SH EXAMPLES");
  examples.insert(examples.end(), page.begin(), page.end());
  EXPECT_GE(inGuides, 2u);
  EXPECT_GE(page.size(), 10u);
  for (const std::vector<std::string>& example : examples) {
    std::string shown;
    for (const std::string& w : example) shown += " " + w;
    const RunResult r = Ctl(OnSimulatedLine(example, sim.DevicePath(), dir));
    // A refusal (a start with nothing preset) or a line error the example
    // provokes on purpose is the controller's answer; the words were taken.
    EXPECT_NE(r.Status, 2) << shown << "\n" << r.Err;
    EXPECT_NE(r.Status, -1) << shown;
  }
  fs::remove_all(dir);
}

}  // namespace
