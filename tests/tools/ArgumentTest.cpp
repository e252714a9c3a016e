// What qx25ctl does with the words it is given: numbers are decimal, shared
// options go before or after the command, and each kind of mistake gets one
// plain message, exit status 2 and nothing sent.
#include <gtest/gtest.h>
#include <locale.h>

#include <optional>

#include "Spawn.h"

namespace {

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

std::vector<std::string> Simulated(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"--simulate", "--sim-unpaced", "--json"});
  return Args;
}

TEST(Arguments, NumbersAreDecimalWithLeadingZerosAllowed) {
  const RunResult total = Ctl(Simulated({"set-total", "00012345"}));
  ASSERT_EQ(total.Status, 0) << total.Err;
  EXPECT_EQ(JsonOf(total.Out)["read_back"].toDouble(), 12345);
  const RunResult write = Ctl(Simulated({"write-param", "010", "1"}));
  ASSERT_EQ(write.Status, 0) << write.Err;
  EXPECT_EQ(JsonOf(write.Out)["code"].toInt(), 10);
  const RunResult read = Ctl(Simulated({"--address", "03", "read-param", "016"}));
  ASSERT_EQ(read.Status, 0) << read.Err;
  EXPECT_EQ(JsonOf(read.Out)["code"].toInt(), 16);
  EXPECT_EQ(JsonOf(read.Out)["address"].toInt(), 3);

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"read-param", "0x10"},
                                              {"--address", "0x2", "read-param", "16"},
                                              {"set-total", "1e3"},
                                              {"total", "--nozzle", "+1"}}) {
    const RunResult r = Ctl(Simulated(bad));
    EXPECT_EQ(r.Status, 2) << bad[1];
    EXPECT_TRUE(Has(r.Err, "is not a whole number")) << r.Err;
  }
}

TEST(Arguments, SharedOptionsGoBeforeOrAfterTheCommand) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--nozzle", "3", "--side", "2", "total"},
        {"total", "--nozzle", "3", "--side", "2"},
        {"--nozzle", "3", "total", "--side", "2"}}) {
    const RunResult t = Ctl(Simulated(args));
    ASSERT_EQ(t.Status, 0) << t.Err;
    EXPECT_EQ(JsonOf(t.Out)["nozzle"].toInt(), 3);
    EXPECT_EQ(JsonOf(t.Out)["side"].toInt(), 2);
  }
  const RunResult before = Ctl(Simulated({"--address", "2", "read-param", "16"}));
  const RunResult after = Ctl(Simulated({"read-param", "16", "--address", "2"}));
  EXPECT_EQ(JsonOf(before.Out)["address"].toInt(), 2) << before.Err;
  EXPECT_EQ(JsonOf(after.Out)["address"].toInt(), 2) << after.Err;
  // One that the command does not take is an error, not ignored.
  const RunResult stray = Ctl(Simulated({"--nozzle", "2", "read-param", "16"}));
  EXPECT_EQ(stray.Status, 2);
  EXPECT_TRUE(Has(stray.Err, "--nozzle does not go with read-param")) << stray.Err;
}

TEST(Arguments, EachKindOfMistakeSaysWhatItIs) {
  struct Case {
    std::vector<std::string> Args;
    const char* Says;
  };
  const Case cases[] = {
      {{"write-param", "5", "inf"}, "code 5: \"inf\" is not a number"},
      {{"write-param", "5", "1,000.5"}, "code 5: \"1,000.5\" is not a number"},
      {{"write-param", "5", "1e400"}, "\"1e400\" is not a number"},
      {{"write-param", "16", "99999999999"}, "is out of range 600.00..1"},
      {{"read-param", "abc"}, "CODE: \"abc\" is not a whole number"},
      {{"read-param", "60"}, "CODE: 60 is out of range 0..59"},
      {{"--port", "31", "total"}, "--port: 31 is out of range 1..30"},
      {{"current", "--price", "nan"}, "--price: \"nan\" is not a number"},
      {{"current", "--price", "inf"}, "--price: \"inf\" is not a number"},
      {{"current", "--price", "-1"}, "--price: -1 is out of range above 0"},
      {{"preset", "--volume", "0"}, "--volume: 0 is out of range above 0"},
      {{"preset", "--volume", "0.4"}, "rounds to 0 L"},
      {{"read-all", "--save", ""}, "--save needs a file name"},
      {{"bogus"}, "unknown command \"bogus\"; the commands are info, poll,"},
      {{}, "no command given; the commands are info,"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--simulate", "--trace"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 2) << c.Says;
    EXPECT_TRUE(Has(r.Err, c.Says)) << r.Err;
    EXPECT_FALSE(SentAnything(r)) << c.Says;
  }
}

TEST(Arguments, RoundingIsShownAndMoneyNeedsAPrice) {
  const RunResult write = Ctl(Simulated({"write-param", "5", "0.45"}));
  ASSERT_EQ(write.Status, 0) << write.Err;
  EXPECT_EQ(JsonOf(write.Out)["note"].toString(), "0.45 written as 0.4: one decimal");
  const RunResult exact = Ctl(Simulated({"write-param", "5", "0.4"}));
  EXPECT_FALSE(JsonOf(exact.Out).contains("note")) << exact.Out;
  const RunResult preset = Ctl(Simulated({"preset", "--volume", "24.5"}));
  ASSERT_EQ(preset.Status, 0) << preset.Err;
  EXPECT_EQ(JsonOf(preset.Out)["note"].toString(),
            "24.5 L sent as 24 L: the preset carries whole litres");

  for (const char* command : {"current", "result"}) {
    const RunResult bare = Ctl(Simulated({command}));
    ASSERT_EQ(bare.Status, 0) << bare.Err;
    EXPECT_FALSE(JsonOf(bare.Out).contains("money")) << bare.Out;
    const RunResult priced = Ctl(Simulated({command, "--price", "52.30"}));
    EXPECT_TRUE(JsonOf(priced.Out).contains("money")) << priced.Out;
  }
}

// qx25ctl takes exactly the presets the driver takes: up to below 99999.5 L,
// by volume or by money, and nothing at or above it is sent.
TEST(Arguments, PresetRangeIsTheDriversOwn) {
  const RunResult top = Ctl(Simulated({"preset", "--volume", "99999.4"}));
  EXPECT_EQ(top.Status, 0) << top.Err;
  const RunResult byMoney = Ctl(Simulated({"preset", "--money", "99999.49", "--price", "1"}));
  EXPECT_EQ(byMoney.Status, 0) << byMoney.Err;
  for (const std::vector<std::string> past :
       {std::vector<std::string>{"preset", "--volume", "99999.5"},
        std::vector<std::string>{"preset", "--money", "199999", "--price", "2"}}) {
    const RunResult r = Ctl(Simulated(past));
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_NE(r.Err.find("99999.5"), std::string::npos) << r.Err;
  }
}

// Text that cannot reach its reader is a failure, in every program.
TEST(Arguments, UnwritableTextAndBadArgumentsExitAlikeInEveryProgram) {
  std::vector<const char*> programs{QX25CTL_PATH, QX25SIM_PATH};
#ifdef QX25HOST_PATH
  programs.push_back(QX25HOST_PATH);
#endif
  for (const char* program : programs)
    for (const char* option : {"--version", "--help"}) {
      const RunResult r =
          ::Run({"/bin/sh", "-c", std::string("exec ") + program + " " + option + " > /dev/full"});
      EXPECT_EQ(r.Status, 4) << program << " " << option;
    }
  for (const std::vector<std::string>& sim : {std::vector<std::string>{"--baud", "0"},
                                              {"--controllers", "x"},
                                              {"--id", "9=1"},
                                              {"--refuse-write", "9=16"},
                                              {"--refuse-write", "1=60"},
                                              {"--refuse-write", "1=99999999999"},
                                              {"--refuse-write", "16"},
                                              {"--bogus"}}) {
    std::vector<std::string> command{QX25SIM_PATH};
    command.insert(command.end(), sim.begin(), sim.end());
    EXPECT_EQ(::Run(command).Status, 2) << sim[0] << " " << sim.back();
  }
}

}  // namespace

namespace {

// Runs under LC_ALL=Locale while it lives.
class UnderLocale {
 public:
  explicit UnderLocale(const char* Locale) {
    if (const char* was = getenv("LC_ALL")) Was = was;
    setenv("LC_ALL", Locale, 1);
  }
  ~UnderLocale() { Was ? setenv("LC_ALL", Was->c_str(), 1) : unsetenv("LC_ALL"); }

 private:
  std::optional<std::string> Was;
};

// What qx25ctl prints under a Russian locale it reads back, and the decimal
// comma or point goes everywhere; JSON numbers stay JSON numbers.
TEST(Arguments, EveryNumberShownIsTakenBackUnderItsLocale) {
  const locale_t available = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", nullptr);
  if (!available) GTEST_SKIP() << "no ru_RU.UTF-8";
  freelocale(available);
  const UnderLocale russian("ru_RU.UTF-8");
  const RunResult read = Ctl(Simulated({"read-param", "16"}));
  const std::string shown = JsonOf(read.Out)["value"].toString().toStdString();
  ASSERT_EQ(shown, "1\u202F200,00");
  const RunResult back = Ctl(Simulated({"write-param", "16", shown}));
  EXPECT_EQ(back.Status, 0) << back.Err;
  EXPECT_EQ(JsonOf(back.Out)["raw"].toInteger(), 120000);
  const RunResult rounded = Ctl(Simulated({"write-param", "5", "0,45"}));
  EXPECT_EQ(JsonOf(rounded.Out)["note"].toString(), "0,45 written as 0,4: one decimal");

  const RunResult preset = Ctl({"--simulate", "preset", "--volume", "25,7"});
  EXPECT_EQ(preset.Status, 0) << preset.Err;
  EXPECT_TRUE(Has(preset.Out, "25,70 L")) << preset.Out;
  const RunResult money = Ctl(Simulated({"preset", "--money", "100", "--price", "45,30"}));
  EXPECT_EQ(money.Status, 0) << money.Err;
  EXPECT_EQ(JsonOf(money.Out)["price"].toDouble(), 45.3) << money.Out;
  EXPECT_EQ(Ctl(Simulated({"preset", "--volume", "25.7"})).Status, 0);
  EXPECT_TRUE(Has(Ctl(Simulated({"preset", "--volume", "25,777"})).Err, "more than 2 decimals"));
}

}  // namespace
