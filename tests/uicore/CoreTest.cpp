// The service window's decisions, with a driver talking to simulated
// controllers in memory: editors and the raw values they commit, single and
// bulk transfers, files and the address rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "driver/DriverPtr.h"
#include "serial/SerialDispatcher.h"
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
  bool Gone = false;
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    if (Gone) {  // the device went away: what the serial dispatcher reports then
      LineStatuses[Port] = qx25::serial::kLineNoDevice;
      return qx25::serial::kSerialDeviceLost;
    }
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
  TTarget Target() { return {Driver.get(), kPort, 1}; }
  CParameter& Item(int Index) { return Catalog.Items(Index); }

  qx25::sim::Simulator Sim;
  SimDispatcher Lines{Sim};
  DriverPtr Driver;
  CTRKParameters Catalog;
};

TEST_F(Core, TheLimitCardCodeIsWrittenAndShownWithAllItsDigits) {
  EXPECT_EQ(CellOf(Item(kCard), ColLimits).Text, "от 0 до 999,999,999,999,999 ");
  const TStatus status = WriteOne(Target(), &Item(kCard), {123456789012345.0}, 0);
  EXPECT_EQ(status.Colour, TStatusColour::Success);
  EXPECT_EQ(Sim.State(1).Params[1], 123456789012345);
  EXPECT_EQ(CellOf(Item(kCard), ColRead).Text, "123,456,789,012,345");
  Item(kCard).Value = 0;
  EXPECT_EQ(ReadOne(Target(), Item(kCard)), "123,456,789,012,345");
  EXPECT_EQ(Item(kCard).Value, 123456789012345);
}

TEST_F(Core, EditorsStartFromTheStoredValueAndCommitItsRawForm) {
  CParameter& number = Item(kCode16);  // two decimals, 600.00 to 1200.00
  number.Value = 75000;
  TEditorChoice choice = EditorFor(number);
  EXPECT_EQ(choice.Kind, TEditorChoice::Number);
  EXPECT_EQ(choice.Start, 750.0);
  EXPECT_EQ(choice.Min, 600.0);
  EXPECT_EQ(choice.Max, 1200.0);
  EXPECT_DOUBLE_EQ(choice.Step, 0.01);
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
  EXPECT_EQ(EditorFor(pair).Kind, TEditorChoice::Pair);
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
  TStatus status = WriteOne(Target(), &Item(kCode16), {800}, 0);
  EXPECT_EQ(status.Message, "Ошибка при проведении операции записи.");
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(Item(kCode16).ReadText, "old");

  // No controller with that ID number: the driver raises, and its reason is kept.
  status = WriteOne(Target(), &Item(0), {5}, 1234);
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(status.Message, "");
  EXPECT_FALSE(status.Detail.empty());
  EXPECT_EQ(Item(0).Code, 1234);
}

// A failed read says that the line is lost when its device went away, and
// only then; a run's rows say it in red, the cells that they failed.
TEST_F(Core, AReadOnALostLineSaysSo) {
  Sim.SetCodeFault(9, qx25::sim::Fault::Silence);
  EXPECT_EQ(ReadOne(Target(), Item(13)), "");
  EXPECT_EQ(ReadFailureText(Target(), Item(13)), "");  // no answer: the cell says enough
  EXPECT_EQ(ReadFailureText({}, Item(13)), "");
  Lines.Gone = true;
  EXPECT_EQ(ReadOne(Target(), Item(kCode16)), "");
  EXPECT_EQ(ReadFailureText(Target(), Item(kCode16)), "Ошибка чтения параметра 16: линия потеряна");

  TRunInputs inputs;
  inputs.SetTarget(Target());
  inputs.Publish(&Catalog);
  std::vector<TRowResult> results;
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) { results.push_back(R); });
  ASSERT_EQ(results.size(), 43u);
  const TRowNews news = TakeRowResult(&Catalog, inputs, results.front());
  ASSERT_TRUE(news.Status);
  EXPECT_EQ(news.Status->Message, "Ошибка чтения параметра 2: линия потеряна");
  EXPECT_EQ(news.Status->Colour, TStatusColour::Failure);
  EXPECT_EQ(CellOf(Item(results.front().Row), ColRead).Text, "Ошибка чтения!");

  Lines.Gone = false;  // found again
  EXPECT_NE(ReadOne(Target(), Item(kCode16)), "");
}

TEST_F(Core, BulkRunsCoverTheRangeSkipWhatWriteAllLeavesOutAndStop) {
  Sim.SetParam(1, 16, 75000);
  Sim.SetCodeFault(9, qx25::sim::Fault::Silence);
  TRunInputs inputs;
  inputs.SetTarget(Target());
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
  inputs.SetTarget(Target());
  inputs.Publish(&Catalog);
  std::atomic<int> rows = 0;
  std::thread run([&] { RunBulk(TBulk::Write, inputs, [&](const TRowResult&) { ++rows; }); });
  for (int i = 0; rows < 31 && i < 10000; ++i) {
    Item(kCode16).Value = 60000 + i;
    inputs.Publish(&Catalog);
    inputs.SetTarget(Target());
  }
  run.join();
  EXPECT_EQ(rows, 31);
}

// What a read-all brings in reaches a write-all running beside it one record
// at a time; a record the inputs have no row for changes nothing.
TEST_F(Core, OneRecordIsPublishedAloneWhileARunGoes) {
  TRunInputs inputs;
  inputs.SetTarget(Target());
  inputs.Publish(&Catalog);
  const int64_t next = Item(kCode16 + 1).Value;
  Item(kCode16).Value = 80000;
  Item(kCode16 + 1).Value = next + 1;  // changed in place, not published
  inputs.Publish(kCode16, Item(kCode16));
  for (int row : {-1, Catalog.Count()}) inputs.Publish(row, Item(kCode36));
  EXPECT_EQ(inputs.Count(), Catalog.Count());
  EXPECT_EQ(inputs.Job(kCode16).Record->Value, 80000);
  EXPECT_EQ(inputs.Job(kCode16 + 1).Record->Value, next);

  std::atomic<int> rows = 0;
  std::thread run([&] { RunBulk(TBulk::Write, inputs, [&](const TRowResult&) { ++rows; }); });
  for (int i = 0; rows < 31 && i < 10000; ++i) inputs.Publish(kCode36, Item(kCode36));
  run.join();
  EXPECT_EQ(rows, 31);
  EXPECT_EQ(Sim.State(1).Params[16], 80000);
}

TEST_F(Core, FilesKeepTheBulkRangeAndSayWhyTheyFail) {
  const std::string dir = ::testing::TempDir();
  const std::string file = dir + "/core.par";
  Item(kCode16).Value = 81000;
  ASSERT_FALSE(SaveValues(&Catalog, file));
  Item(kCode16).Value = 0;
  LoadValues(&Catalog, file);
  EXPECT_EQ(Item(kCode16).Value, 81000);
  EXPECT_FALSE(SaveValues(nullptr, file));

  const std::optional<TFileError> error = SaveValues(&Catalog, dir + "/no/such/dir/x.par");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Title, "Сохранение параметров");
  EXPECT_NE(error->Text.find("/no/such/dir/x.par"), std::string::npos);
  EXPECT_EQ(BufferFileName("/s"), "/s/Vedo.buf");

  // In the window's words, whatever the system said.
  for (const char* special : {"/dev/full", "/dev/null"}) {
    const std::optional<TFileError> device = SaveValues(&Catalog, special);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Text, std::string("Не удалось сохранить параметры в файл ") + special +
                                ":\nэто не обычный файл, а устройство или канал");
  }
  EXPECT_NE(error->Text.find("нет такого файла или папки"), std::string::npos) << error->Text;
  EXPECT_EQ(ReasonText("Cannot write the file \"x\": Something new"), "системная ошибка");
  EXPECT_EQ(ReasonText("Access is denied"), "нет прав доступа");
  EXPECT_EQ(SavedStatus("/s/a.par").Message, "Сохранено: /s/a.par");
  EXPECT_EQ(PasteValues(&Catalog, dir + "/no-buffer.buf").Message,
            "Буфер пуст: параметры ещё не копировались");
  ASSERT_FALSE(SaveValues(&Catalog, dir + "/buffer.buf"));
  EXPECT_EQ(
      PasteValues(&Catalog, dir + "/buffer.buf")
          .Message.rfind("Параметры вставлены из буфера: взято значений 40; пропущено: 31=0", 0),
      0u);
}

// The name a dialog gives: the suffix goes to a plain new name only; a name
// the toolkit could not spell is found by how the toolkit spells it.
TEST_F(Core, ChosenNamesStandForTheFilesMeant) {
  const std::string dir = ::testing::TempDir() + "/names";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  EXPECT_EQ(WithDefaultSuffix(dir + "/ТРК", "par"), dir + "/ТРК.par");
  EXPECT_EQ(WithDefaultSuffix(dir + "/ТРК.tar", "par"), dir + "/ТРК.tar");
  EXPECT_EQ(WithDefaultSuffix("/dev/full", "par"), "/dev/full");
  EXPECT_EQ(WithDefaultSuffix("/dev/null", "tar"), "/dev/null");

  const std::string cp1251 = dir + "/\xd2\xd0\xca.par";  // "ТРК" in Windows-1251
  std::ofstream(cp1251) << "[Parametr]\r\n16=80000\r\n";
  const auto marks = [](const std::string& Name) {
    std::string out;
    for (char c : Name)
      out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xef\xbf\xbd";
    return out;
  };
  const std::string shown = dir + "/\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd.par";
  EXPECT_EQ(ExistingFileName(shown, marks), cp1251);
  // Typed as the Windows station shows it.
  EXPECT_EQ(ExistingFileName(dir + "/ТРК.par", marks), cp1251);
  EXPECT_EQ(Windows1251Text("\xa8\xb8 \xc0\xff"), "Ёё Ая");
  EXPECT_EQ(LoadValues(&Catalog, ExistingFileName(shown, marks)).Colour, TStatusColour::Normal);
  EXPECT_EQ(Item(kCode16).Value, 80000);
  std::ofstream(dir + "/\xc0\xc1\xc2.par") << "";  // a second name the toolkit spells alike
  EXPECT_EQ(ExistingFileName(shown, marks), shown);
  EXPECT_EQ(ExistingFileName(dir + "/none.par", marks), dir + "/none.par");
}

// A hand-edited file: what may go to the controller is taken, the rest is
// named with its reason and leaves the record alone.
TEST_F(Core, LoadingSaysWhatItTookAndWhatItLeft) {
  const std::string dir = ::testing::TempDir();
  const std::string file = dir + "/hand.par";
  std::ofstream(file) << "[Parametr]\r\n12=7\r\n9=99999999\r\n10=-5\r\n16=80000\r\n"
                         "5=abc\r\n99=1\r\n1=5\r\n3=2\r\n";
  CParameter& list12 = Item(16);
  CParameter& code9 = Item(13);
  CParameter& code5 = Item(9);
  const TStatus status = LoadValues(&Catalog, file);
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(status.Message,
            "hand.par: взято значений 2; пропущено: 12=7 (вне пределов 0 … 2), "
            "9=99999999 (вне пределов 0 … 9,999), 10=-5 (вне пределов 0 … "
            "9,999), 5=abc (не число), 99=1 (неизвестный код), 1=5 "
            "(неизвестный код)");
  EXPECT_EQ(list12.Value, 0);
  EXPECT_EQ(code9.Value, 0);
  EXPECT_EQ(Item(14).Value, 0);  // code 10
  EXPECT_EQ(code5.Value, 4);
  EXPECT_EQ(Item(kCode16).Value, 80000);
  EXPECT_EQ(Item(8).Value, 2);  // code 3
  EXPECT_EQ(Item(kCard).Value, 0);

  std::ofstream(dir + "/large.par") << std::string((1 << 20) + 1, 'x');
  for (const auto& [name, text] :
       {std::pair{std::string("/none.par"), std::string("Файл не найден: ")},
        {"/binary.par", "это не текстовый файл"},
        {"/large.par", "файл больше 1048576 байт"},
        {"", "это папка"},
        {"/other.par", ""}}) {
    if (name == "/binary.par") std::ofstream(dir + name) << std::string("\x7f\0\x01\xff", 4);
    if (name == "/other.par") std::ofstream(dir + name) << "[Other]\r\n16=70000\r\n";
    const TStatus failed = LoadValues(&Catalog, dir + name);
    EXPECT_EQ(failed.Colour, TStatusColour::Failure) << name;
    EXPECT_NE(failed.Message.find(text.empty() ? "нет раздела [Parametr]" : text),
              std::string::npos)
        << failed.Message;
    EXPECT_EQ(Item(kCode16).Value, 80000);
  }
}

// The read column shows what the controller holds; nothing outside the
// limits goes to it, alone or in a write-all, and the run goes on.
TEST_F(Core, ValuesOutsideTheLimitsAreShownAsTheyAreAndNeverSent) {
  TRunInputs inputs;
  inputs.SetTarget(Target());
  inputs.Publish(&Catalog);
  std::vector<TRowResult> results;
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) { results.push_back(R); });
  for (const TRowResult& r : results) ApplyRowResult(&Catalog, r);
  const TCell read = CellOf(Item(kCode16), ColRead);
  EXPECT_EQ(read.Text, "0.00");
  EXPECT_TRUE(read.OutOfLimits);
  EXPECT_EQ(CellHintOf(Item(kCode16), ColRead),
            "0.00\nДважды щелкните на поле для чтения параметра\nвне пределов 600.00 … 1,200.00");
  EXPECT_EQ(CellOf(Item(38), ColRead).Text, "0");             // code 34, limits 60,000 to 120,000
  EXPECT_EQ(CellOf(Item(kCode16), ColWrite).Text, "600.00");  // what an edit starts from
  EXPECT_EQ(CellOf(Item(44), ColLimits).Text, "от 0 до 100 мл/c");  // two digits, yet no exponent
  EXPECT_FALSE(CellOf(Item(9), ColRead).OutOfLimits);

  Item(16).Value = 7;  // code 12, a list of three
  Item(kCode16).Value = 80000;
  inputs.Publish(&Catalog);
  const uint64_t before = Sim.ExchangeCount();
  results.clear();
  RunBulk(TBulk::Write, inputs, [&](const TRowResult& R) { results.push_back(R); });
  EXPECT_EQ(results.size(), 31u);
  // Refused: code 12, and codes 15, 31, 34 and 39 read as 0 below their limits.
  EXPECT_EQ(Sim.ExchangeCount(), before + 31 - 5);
  EXPECT_EQ(Sim.State(1).Params[12], 0);
  EXPECT_EQ(Sim.State(1).Params[16], 80000);
  const auto refused = std::find_if(results.begin(), results.end(), [](const TRowResult& R) {
    return R.Outcome == TRowResult::Refused;
  });
  ASSERT_NE(refused, results.end());
  EXPECT_EQ(ApplyRowResult(&Catalog, *refused),
            "Ошибка при операции записи параметра 12: вне пределов 0 … 2");
  EXPECT_TRUE(CellOf(Item(16), ColWrite).OutOfLimits);

  const uint64_t single = Sim.ExchangeCount();
  TStatus status = WriteOne(Target(), &Item(kCode16), {1300}, 0);
  EXPECT_EQ(status.Message,
            "Ошибка при проведении операции записи. (вне пределов 600.00 … 1,200.00)");
  EXPECT_EQ(status.Colour, TStatusColour::Failure);
  EXPECT_EQ(WriteOne(Target(), &Item(16), {0, 0, 5}, 0).Colour, TStatusColour::Failure);
  EXPECT_EQ(Sim.ExchangeCount(), single);
  EXPECT_EQ(Item(kCode16).Value, 80000);
}

// A run ends on what it did: how many of the rows it meant to send went, and
// which codes it left out and why; those rows stay marked.
TEST_F(Core, ARunEndsOnASummaryOfWhatItLeftOut) {
  TRunInputs inputs;
  inputs.SetTarget(Target());
  inputs.Publish(&Catalog);
  Sim.SetCodeFault(20, qx25::sim::Fault::Refuse, qx25::sim::ParamAccess::Write);
  TRunTally writes(TBulk::Write, &Catalog);
  RunBulk(TBulk::Write, inputs, [&](const TRowResult& R) { writes.Take(R); });
  const TStatus summary = writes.Summary();
  EXPECT_EQ(summary.Message,
            "Записано 26 из 31; не записаны: 16, 31, 34, 39 (вне пределов), 20 (ошибка записи)");
  EXPECT_EQ(summary.Colour, TStatusColour::Failure);
  EXPECT_EQ(writes.LeftOut(kCode16), "вне пределов");
  const int code20 = 24;
  ASSERT_EQ(Item(code20).Code, 20);
  const TCell marked = CellOf(Item(code20), ColWrite, writes.LeftOut(code20));
  EXPECT_TRUE(marked.OutOfLimits);
  EXPECT_NE(CellHintOf(Item(code20), ColWrite, writes.LeftOut(code20)).find("ошибка записи"),
            std::string::npos);
  EXPECT_EQ(writes.LeftOut(kCode16 + 1), "");

  // Stopped halfway, a write run says how far it got; a read beside it goes on.
  Sim.ClearCodeFaults();
  TRunTally stopped(TBulk::Write, &Catalog), reads(TBulk::Read, &Catalog);
  RunBulk(TBulk::Write, inputs, [&](const TRowResult& R) {
    stopped.Take(R);
    if (stopped.Done() == 19) inputs.Stop(TBulk::Write);
  });
  EXPECT_EQ(stopped.StoppedText(), "Запись параметров прервана: записано 19 из 31");
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) { reads.Take(R); });
  EXPECT_EQ(reads.Summary().Message, "Прочитано 43 из 43");
  EXPECT_EQ(reads.Summary().Colour, TStatusColour::Normal);
  inputs.Resume(TBulk::Write);
  EXPECT_FALSE(inputs.Stopped(TBulk::Write));

  Sim.SetCodeFault(5, qx25::sim::Fault::Silence, qx25::sim::ParamAccess::Read);
  TRunTally failed(TBulk::Read, &Catalog);
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& R) { failed.Take(R); });
  EXPECT_EQ(failed.Summary().Message, "Прочитано 42 из 43; не прочитаны: 5 (ошибка чтения)");
}

TEST_F(Core, TheConfirmationNamesTheValueInItsUnits) {
  EXPECT_EQ(ConfirmationDetail(Item(kCode16), {812.5}, 0),
            "Средняя (за один отпуск) плотность топлива: 812.50 кг/м3");
  EXPECT_EQ(ConfirmationDetail(Item(7), {0, 0, 1}, 0), "Режим работы рукава: 1-Первая сторона");
  EXPECT_EQ(ConfirmationDetail(Item(0), {5}, 123456), "Новый сетевой адрес: 5, ID-номер: 123456");
  EXPECT_EQ(ConfirmationDetail(Item(7), {0, 0, -1}, 0), "");
}

// The classic sizes keep the classic geometry; a larger font makes room.
TEST_F(Core, EditorsAndBoxesFitTheirRow) {
  const TRect cell{100, 40, 269, 60};
  const TEditorPlace one = EditorPlace(cell, 0, false);
  EXPECT_EQ(one.First.Top, 42);
  EXPECT_EQ(one.First.Bottom, 60);
  EXPECT_EQ(one.First.Left, 105);
  EXPECT_EQ(one.First.Right, 264);
  const TEditorPlace two = EditorPlace(cell, 18, true);
  EXPECT_EQ(two.First.Right, 179);
  EXPECT_EQ(two.Second.Left, 184);
  EXPECT_EQ(two.Second.Right, 253);
  EXPECT_EQ(ValueBox(cell, 10).Top, 42);
  EXPECT_EQ(ValueBox(cell, 10).Bottom, 58);
  EXPECT_EQ(RowHeight(0, 0, 16, 18), 20);

  for (int editor : {24, 31}) {
    const int height = RowHeight(0, 0, 19, editor);
    const TRect row{0, 300, 169, 300 + height};
    const TRect at = EditorPlace(row, editor, false).First;
    EXPECT_GE(at.Top, row.Top);
    EXPECT_LE(at.Bottom, row.Bottom);
    EXPECT_EQ(at.Bottom - at.Top, editor);
    const TRect box = ValueBox(row, 19);
    EXPECT_GE(box.Top - kValueBoxOutline, row.Top);
    EXPECT_LE(box.Bottom + kValueBoxOutline, row.Bottom);
  }
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
  std::string reports[2];
  for (int f = 0; f < 2; ++f) {
    CTRKParameters fresh;
    fresh.Fill();
    // The same values taken and the same ones left, whichever the file.
    const std::string report = LoadValues(&fresh, f ? old : file).Message;
    reports[f] = report.substr(report.find(':'));
    for (int i = 0; i < fresh.Count(); ++i) loaded[f].push_back(fresh.Items(i).Value);
  }
  EXPECT_EQ(reports[0], reports[1]);
  EXPECT_EQ(loaded[0], loaded[1]);
  EXPECT_EQ(loaded[0][kCode16], 81000);
}

// The address dialog: each field read as typed within its limits, then the
// address checked against the address field's; nothing is brought into range.
TEST_F(Core, TheNozzleAddressIsReadFromTheTextsOrRefusedNamingWhy) {
  for (auto [nozzle, dispenser, address] : {
           std::tuple{"2", "3", 4},
           {"5", "0", 5},     // dispenser 0 counts as the first
           {"1", "1", 1},     // the lowest address
           {"32", "33", 64},  // the highest
           {" 1 ", "+64", 64},
       }) {
    const qx25::params::TTypedValue read = ReadNozzleAddress(Driver.get(), nozzle, dispenser);
    ASSERT_TRUE(read) << nozzle << " " << dispenser << ": " << read.Refusal;
    EXPECT_EQ(*read.Raw, address);
  }
  for (auto [nozzle, dispenser, refusal] : {
           std::tuple{"0", "1", "№ пистолета: вне пределов 1 … 32"},
           {"33", "1", "№ пистолета: вне пределов 1 … 32"},
           {"", "1", "№ пистолета: не введено значение"},
           {"1.5", "1", "№ пистолета: нужно целое число"},
           {"x", "99", "№ пистолета: не число"},  // the nozzle first
           {"1", "-1", "№ ТРК: отрицательное значение недопустимо"},
           {"1", "65", "№ ТРК: вне пределов 0 … 64"},
           {"32", "34", "адрес 65 вне пределов 1 … 64"},
           {"30", "60", "адрес 89 вне пределов 1 … 64"},
       }) {
    const qx25::params::TTypedValue read = ReadNozzleAddress(Driver.get(), nozzle, dispenser);
    EXPECT_FALSE(read) << nozzle << " " << dispenser;
    EXPECT_EQ(read.Refusal, refusal);
  }
  EXPECT_FALSE(ReadNozzleAddress(nullptr, "1", "1"));
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

// The fields say where a request goes: it goes to the numbers they show, or is
// refused with the field's name; a number is never brought into range.
TEST_F(Core, TheLineIsTheFieldsTextsOrARefusalNamingTheField) {
  const TTargetRead read = ReadTarget(Driver.get(), " 24 ", "64");
  ASSERT_TRUE(read);
  EXPECT_EQ(read.Target->Driver, Driver.get());
  EXPECT_EQ(read.Target->Port, 24);
  EXPECT_EQ(read.Target->Address, 64);
  for (auto [port, address, refusal] : {
           std::tuple{"3", "99", "Адрес пистолета: вне пределов 1 … 64"},
           {"3", "0", "Адрес пистолета: вне пределов 1 … 64"},
           {"3", "6.4", "Адрес пистолета: нужно целое число"},
           {"25", "1", "№ СОМ-порта: вне пределов 1 … 24"},
           {"", "1", "№ СОМ-порта: не введено значение"},
           {"5x", "99", "№ СОМ-порта: не число"},  // the port first
       }) {
    const TTargetRead refused = ReadTarget(Driver.get(), port, address);
    EXPECT_FALSE(refused) << port << " " << address;
    EXPECT_EQ(refused.Refusal, refusal);
    // Meanwhile a run has no line: nothing is sent.
    EXPECT_EQ(refused.OrNoLine().Driver, nullptr);
  }
  // A refused address never reaches the line as a clamped one.
  const uint64_t before = Sim.ExchangeCount();
  TRunInputs inputs;
  inputs.Publish(ReadTarget(Driver.get(), "3", "99").OrNoLine(), &Catalog);
  int rows = 0;
  RunBulk(TBulk::Read, inputs, [&](const TRowResult& Result) {
    EXPECT_NE(Result.Outcome, TRowResult::Read);
    ++rows;
  });
  EXPECT_GT(rows, 0);
  EXPECT_EQ(Sim.ExchangeCount(), before);
}

TEST_F(Core, TheIdNumberIsReadOnlyForTheAddressRecord) {
  ASSERT_EQ(Item(0).Kind, pkAddress);
  EXPECT_EQ(IdNumberFor(Item(0), "4321").Raw, 4321);
  EXPECT_EQ(IdNumberFor(Item(0), "2147483647").Raw, 2147483647);
  EXPECT_EQ(IdNumberFor(Item(0), "2147483648").Refusal, "ID-номер: вне пределов 0 … 2,147,483,647");
  EXPECT_EQ(IdNumberFor(Item(0), "-1").Refusal, "ID-номер: отрицательное значение недопустимо");
  // A hidden ID number field does not stop a write of any other record.
  EXPECT_EQ(IdNumberFor(Item(kCode16), "abc").Raw, 0);
}

TEST_F(Core, AStepStartsFromTheNumberATextReadsAs) {
  EXPECT_EQ(ShownValue(Item(kCode16), "1,000.5"), 1000.5);
  EXPECT_EQ(ShownValue(Item(kCode36), "-15"), -15.0);
  EXPECT_EQ(ShownValue(Item(kCode16), "800850"), std::nullopt);
  EXPECT_EQ(ShownValue(Item(kCode16), "abc"), std::nullopt);
}
