// The service window's decisions, with a driver talking to simulated
// controllers in memory: editors and the raw values they commit, single and
// bulk transfers, files and the address rule.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "driver/DriverPtr.h"
#include "sim/Simulator.h"
#include "testsupport/MemoryDispatcher.h"
#include "ui/core/BulkRun.h"
#include "ui/core/Editing.h"
#include "ui/core/Files.h"
#include "ui/core/GridText.h"

using namespace qx25::ui;

namespace {

constexpr int kPort = 3;

// Each frame straight to the simulator, its answer to the driver's reply
// handler a byte at a time: no line, no thread.
class SimDispatcher final : public MemoryDispatcher {
 public:
  explicit SimDispatcher(qx25::sim::Simulator& Simulated) : Sim(Simulated) {}
  int32_t GetErrorCode(uint8_t) override { return kNoReply; }
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    const std::optional<qx25::sim::Bytes> answer = Sim.Respond(Frame, FrameLength);
    uint8_t held = 0;
    const bool ok =
        ReplyLength == 0 || (answer && Feed(Port, *answer, Reply, ReplyLength, ReplyMode, 1, held));
    LineStatuses[Port] = ok ? 1 : kNoReply;
    return ok ? 0 : kNoReply;
  }

 private:
  static constexpr int32_t kNoReply = 3;
  qx25::sim::Simulator& Sim;
};
constexpr int kCard = 6, kCode16 = 20, kCode36 = 40;  // catalog indices

class Core : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNumberFormat({".", ","});
    Sim.AddController(1);
    Driver.reset(GetQX25(0, 0, &Lines));
    Catalog.Fill();
  }
  TLine Line() { return {Driver.get(), kPort, 1}; }
  CParameter& Item(int Index) { return Catalog.Items(Index); }

  qx25::sim::Simulator Sim;
  SimDispatcher Lines{Sim};
  DriverPtr Driver;
  CTRKParameters Catalog;
};

TEST_F(Core, TheLimitCardCodeIsWrittenAndShownWithAllItsDigits) {
  EXPECT_EQ(CellOf(Item(kCard), ColLimits).Text, "от 0 до 999,999,999,999,999 ");
  const TStatus status = WriteOne(Line(), &Item(kCard), {123456789012345.0}, 0);
  EXPECT_EQ(status.Colour, TStatusColour::Success);
  EXPECT_EQ(Sim.State(1).Params[1], 123456789012345);
  EXPECT_EQ(CellOf(Item(kCard), ColRead).Text, "123,456,789,012,345");
  Item(kCard).Value = 0;
  EXPECT_EQ(ReadOne(Line(), Item(kCard)), "123,456,789,012,345");
  EXPECT_EQ(Item(kCard).Value, 123456789012345);
}

TEST_F(Core, EditorsStartFromTheStoredValueAndCommitItsRawForm) {
  CParameter& number = Item(kCode16);  // two decimals, 600.00 to 1200.00
  number.Value = 75000;
  TEditorSpec spec = EditorFor(number);
  EXPECT_EQ(spec.Kind, TEditorSpec::Number);
  EXPECT_EQ(spec.Start, 750.0);
  EXPECT_EQ(spec.Min, 600.0);
  EXPECT_EQ(spec.Max, 1200.0);
  EXPECT_DOUBLE_EQ(spec.Step, 0.01);
  EXPECT_EQ(CommittedRaw(number, {800.5}), 80050);
  EXPECT_THROW(CommittedRaw(number, {std::nan("")}), std::out_of_range);

  CParameter& temperature = Item(kCode36);
  ASSERT_EQ(temperature.Kind, pkTemperature);
  temperature.Value = 215;
  EXPECT_EQ(EditorFor(temperature).Start, -15.0);
  EXPECT_EQ(CommittedRaw(temperature, {-15}), 215);
  EXPECT_EQ(CommittedRaw(temperature, {200}), 200);

  CParameter sensor(37, 3, 0, "", "", 0, 0, 0, pkTemperatureList, 2, false);
  sensor.ValueNames = {"on", "off"};
  for (auto [raw, item] : {std::pair{1, 0}, {200, 1}, {7, -1}}) {
    sensor.Value = raw;
    EXPECT_EQ(EditorFor(sensor).Selected, item) << raw;
    if (item >= 0) {
      EXPECT_EQ(CommittedRaw(sensor, {0, 0, item}), raw);
    }
  }

  CParameter pair(18, 6, 0, "", "", 0, 0, 0, pkPair, 2, false);
  EXPECT_EQ(EditorFor(pair).Kind, TEditorSpec::Pair);
  EXPECT_EQ(CommittedRaw(pair, {12, 345}), 12345);
  EXPECT_EQ(pair.ValueToText(CommittedRaw(pair, {12, 345})), "12 - 345");

  CParameter list = Item(7);
  list.ValueNames.clear();
  EXPECT_FALSE(EditorFor(list).Enabled);
  EXPECT_THROW(CommittedRaw(list, {}), std::out_of_range);
}

TEST_F(Core, SingleTransfersReportTheirOutcome) {
  EXPECT_EQ(WriteOne({}, &Item(kCode16), {800}, 0).Message, "Невозможно провести операцию записи.");
  EXPECT_EQ(ReadOne({}, Item(kCode16)), "");
  EXPECT_TRUE(Item(kCode16).ReadError);

  // Refused: red, and the record keeps what it had.
  Sim.SetCodeFault(16, qx25::sim::Fault::Refuse);
  Item(kCode16).ReadText = "old";
  TStatus status = WriteOne(Line(), &Item(kCode16), {800}, 0);
  EXPECT_EQ(status.Message, "Ошибка при проведении операции записи.");
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(Item(kCode16).ReadText, "old");

  // No controller with that ID number: the driver raises, and its reason is kept.
  status = WriteOne(Line(), &Item(0), {5}, 1234);
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(status.Message, "");
  EXPECT_FALSE(status.Detail.empty());
  EXPECT_EQ(Item(0).Code, 1234);
}

TEST_F(Core, BulkRunsCoverTheRangeSkipWhatWriteAllLeavesOutAndStop) {
  Sim.SetParam(1, 16, 75000);
  Sim.SetCodeFault(9, qx25::sim::Fault::Silence);
  TRunInputs inputs;
  inputs.SetLine(Line());
  inputs.Publish(&Catalog);
  std::vector<TRowResult> results;
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) { results.push_back(R); });
  ASSERT_EQ(results.size(), 43u);
  for (const TRowResult& r : results) ApplyRowResult(&Catalog, r);
  EXPECT_EQ(CellOf(Item(kCode16), ColRead).Text, "750.00");
  EXPECT_EQ(CellOf(Item(13), ColRead).Text, "Ошибка чтения!");  // code 9
  EXPECT_EQ(ApplyRowResult(nullptr, results.front()), "");      // the catalog is gone

  results.clear();
  Item(kCode16).Value = 80000;
  inputs.Publish(&Catalog);
  RunBulk(TBulk::Write, inputs, [&](const TRowResult& R) { results.push_back(R); });
  EXPECT_EQ(results.size(), 31u);
  EXPECT_EQ(Sim.State(1).Params[16], 80000);
  EXPECT_EQ(ApplyRowResult(&Catalog, results.back()), "Операция записи параметра 45");

  // Asked to stop, a run ends after the row in flight.
  results.clear();
  const uint64_t before = Sim.ExchangeCount();
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) {
    results.push_back(R);
    inputs.Stop();
  });
  EXPECT_EQ(results.size(), 1u);
  EXPECT_EQ(Sim.ExchangeCount(), before + 1);
  inputs.Publish(nullptr);
  EXPECT_FALSE(inputs.Job(kCode16).Record);
}

// The window's thread keeps the inputs current while a run takes its rows.
TEST_F(Core, InputsChangeWhileARunGoes) {
  TRunInputs inputs;
  inputs.SetLine(Line());
  inputs.Publish(&Catalog);
  std::atomic<int> rows = 0;
  std::thread run([&] { RunBulk(TBulk::Write, inputs, [&](const TRowResult&) { ++rows; }); });
  for (int i = 0; rows < 31 && i < 10000; ++i) {
    Item(kCode16).Value = 60000 + i;
    inputs.Publish(&Catalog);
    inputs.SetLine(Line());
  }
  run.join();
  EXPECT_EQ(rows, 31);
}

TEST_F(Core, FilesKeepTheBulkRangeAndSayWhyTheyFail) {
  const std::string dir = ::testing::TempDir();
  const std::string file = dir + "/core.par";
  Item(kCode16).Value = 81000;
  ASSERT_FALSE(SaveValues(&Catalog, file));
  Item(kCode16).Value = 0;
  ASSERT_FALSE(LoadValues(&Catalog, file));
  EXPECT_EQ(Item(kCode16).Value, 81000);
  EXPECT_FALSE(SaveValues(nullptr, file));

  const std::optional<TFileError> error = SaveValues(&Catalog, dir + "/no/such/dir/x.par");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Title, "Сохранение параметров");
  EXPECT_NE(error->Text.find("/no/such/dir/x.par"), std::string::npos);
  EXPECT_EQ(BufferFileName("/s"), "/s/Vedo.buf");
}

// The window's save says where its values came from, keeps the sections it
// does not own, and loads exactly as a file written before [Info] existed.
TEST_F(Core, SavesCarryInfoThatLoadingPassesOver) {
  const std::string file = ::testing::TempDir() + "/info.par";
  std::ofstream(file, std::ios::binary) << "[Mine]\r\nkeep=1\r\n[Info]\r\nUnread=16\r\n";
  Item(kCode16).Value = 81000;
  ASSERT_FALSE(SaveValues(&Catalog, file, {Driver.get(), 7, 12}));
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  for (const char* line : {"[Mine]\r\nkeep=1\r\n", "Port=7\r\n", "Address=12\r\n",
                           "Driver=v2.41\r\n", "\r\n16=81000\r\n"})
    EXPECT_NE(text.str().find(line), std::string::npos) << line << text.str();
  EXPECT_EQ(text.str().find("Unread"), std::string::npos);

  // The same values saved as before, without [Info], load the same.
  const std::string old = ::testing::TempDir() + "/old.par";
  std::filesystem::remove(old);
  ASSERT_FALSE(SaveValues(&Catalog, old));
  std::vector<int64_t> loaded[2];
  for (int f = 0; f < 2; ++f) {
    CTRKParameters fresh;
    fresh.Fill();
    ASSERT_FALSE(LoadValues(&fresh, f ? old : file));
    for (int i = 0; i < fresh.Count(); ++i) loaded[f].push_back(fresh.Items(i).Value);
  }
  EXPECT_EQ(loaded[0], loaded[1]);
  EXPECT_EQ(loaded[0][kCode16], 81000);
}

TEST_F(Core, NozzleAddressesKeepToTheAddressField) {
  EXPECT_EQ(NozzleAddress(Driver.get(), 2, 3), 4);
  EXPECT_EQ(NozzleAddress(Driver.get(), 5, 0), 5);
  EXPECT_EQ(NozzleAddress(Driver.get(), 0, 0), 1);
  EXPECT_EQ(NozzleAddress(Driver.get(), 60, 30), 64);
  EXPECT_FALSE(NozzleAddress(nullptr, 1, 1));
}

TEST_F(Core, TabsShowTheirRowsAndKeepAShownCurrentRow) {
  EXPECT_EQ(CurrentRowOnTab(Catalog, 1, 3), 0);  // the address record
  EXPECT_EQ(CurrentRowOnTab(Catalog, 0, 3), 3);
  EXPECT_EQ(CurrentRowOnTab(Catalog, 2, -1), kCard);
  EXPECT_FALSE(CurrentRowOnTab(Catalog, 5, 0));
  EXPECT_EQ(DescriptionText(Item(8)).substr(0, 6), Item(8).Caption.substr(0, 6));
  EXPECT_NE(DescriptionText(Item(8)).find(":\r\n  0-"), std::string::npos);
  EXPECT_EQ(DescriptionText(Item(8)).back(), Item(8).ValueNames.back().back());

  Item(kCode16).ReadText = "1.00";
  Item(kCode16).Value = 100;  // below 600.00
  EXPECT_TRUE(CellOf(Item(kCode16), ColRead).OutOfLimits);
  EXPECT_EQ(CellOf(Item(kCode16), ColWrite).Text, "600.00");  // never below the limit
}

}  // namespace
