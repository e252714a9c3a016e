// Each program's man page against its --help: every option the program takes
// is on its page, as man renders it, and no tag of the page runs over the one
// line a tag may have.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "Spawn.h"

namespace {

// The long options a --help text lists, one at the start of a line each
// ("  --device TEXT", "  -h,--help").
std::set<std::string> OptionsOf(const std::string& Help) {
  static const std::regex option(R"(^\s+(?:-\w,)?(--[a-z][a-z0-9-]*))");
  std::set<std::string> found;
  std::istringstream lines(Help);
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, option)) found.insert(m[1]);
  return found;
}

// The page as man shows it, on lines long enough that no option is broken.
std::string Rendered(const std::string& Page) {
  const RunResult r = Run({"/usr/bin/env", "MANWIDTH=1000", "MAN_KEEP_FORMATTING=", "man", "-l",
                           std::string(QX25_SOURCE_DIR) + "/" + Page});
  EXPECT_EQ(r.Status, 0) << Page << ": " << r.Err;
  EXPECT_EQ(r.Err, "") << Page;  // no warning of groff's either
  return r.Out;
}

// Tags (the line after .TP) whose brackets do not close on that line: a tag
// continued on the next line, which man shows as the paragraph's first words.
std::vector<std::string> BrokenTags(const std::string& Page) {
  std::ifstream in(std::string(QX25_SOURCE_DIR) + "/" + Page);
  std::vector<std::string> broken;
  bool tag = false;
  for (std::string line; std::getline(in, line);) {
    if (tag && std::count(line.begin(), line.end(), '[') != std::count(line.begin(), line.end(), ']'))
      broken.push_back(line);
    tag = line == ".TP";
  }
  return broken;
}

void ExpectOptionsOnPage(const std::string& Page, const std::vector<std::string>& HelpTexts) {
  const std::string page = Rendered(Page);
  EXPECT_EQ(BrokenTags(Page), std::vector<std::string>{}) << Page;
  for (const std::string& help : HelpTexts) {
    const std::set<std::string> options = OptionsOf(help);
    EXPECT_FALSE(options.empty()) << help;
    for (const std::string& o : options)
      EXPECT_NE(page.find(o), std::string::npos) << o << " is not on " << Page;
  }
}

TEST(ManPages, EveryOptionOfTheHelpIsOnThePage) {
  // qx25ctl's page covers its options and each command's.
  std::vector<std::string> ctl{Ctl({"--help"}).Out};
  static const std::regex command(R"(^  ([a-z][a-z-]+)\s{2,})");
  std::istringstream lines(ctl.front().substr(ctl.front().find("Subcommands:")));
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, command)) ctl.push_back(Ctl({m[1], "--help"}).Out);
  EXPECT_GT(ctl.size(), 15u);
  ExpectOptionsOnPage("tools/qx25ctl.1", ctl);
  ExpectOptionsOnPage("sim/qx25-sim.1", {::Run({QX25SIM_PATH, "--help"}).Out});
#ifdef QX25HOST_PATH
  ExpectOptionsOnPage("packaging/qx25-host.1", {::Run({QX25HOST_PATH, "--help"}).Out});
#endif
}

}  // namespace
