// What the second operator trial found, tried as the operator works: typed
// doses and prices under a Russian format, the litres a dose in money comes
// to, and what a restart keeps.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>

#include "AmountBox.h"
#include "ChosenNozzle.h"
#include "ConsoleRig.h"
#include "HostTests.h"
#include "NozzleTile.h"
#include "PriceMemory.h"
#include "driver/HostContract.h"
#include "driver/protocol/Protocol.h"
#include "params/ParameterUnit.h"
#include "sim/BuiltInSimulator.h"

using namespace consoletest;

namespace {

constexpr int kNozzle = 1;
constexpr int kAnswerWaitMs = 5000;
constexpr int kDeliveryWaitMs = 30000;
const TNumberFormat kRussian{",", "\u00A0"};

// The format the console writes and reads in, for one test.
class FormatFor {
 public:
  explicit FormatFor(const TNumberFormat& Format) : Before(NumberFormat()) {
    SetNumberFormat(Format);
  }
  ~FormatFor() { SetNumberFormat(Before); }
  FormatFor(const FormatFor&) = delete;
  FormatFor& operator=(const FormatFor&) = delete;

 private:
  TNumberFormat Before;
};

void Type(PanelWidgets& W, const char* Box, const QString& Text) {
  QLineEdit* edit = W.Child<QAbstractSpinBox>(Box)->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClicks(edit, Text);
}

QMessageBox* OpenQuestion(QWidget& Owner) {
  for (QMessageBox* box : Owner.findChildren<QMessageBox*>(QStringLiteral("ConfirmBox")))
    if (box->isVisible()) return box;
  return nullptr;
}

void Press(QMessageBox* Box, const QString& Caption) {
  for (QAbstractButton* button : Box->buttons())
    if (button->text() == Caption) return button->click();
  QFAIL(qPrintable(QStringLiteral("no button ") + Caption));
}

NozzleCommand Sent(QSignalSpy& Spy) { return Spy.takeFirst().at(0).value<NozzleCommand>(); }

}  // namespace

void OperatorTest::typedPointsAreDecimals() {
  auto station = Started({"--simulate"});
  const FormatFor russian(kRussian);
  PanelWidgets w(*station->Window().Panel(kSimulatedPort, kNozzle));
  QSignalSpy asked(&w.Panel, &NozzlePanel::Command);
  const QString status = QStringLiteral("CommandStatusLabel");

  // Point and comma alike; the value the driver gets is the one typed.
  Type(w, "PriceEdit1", QStringLiteral("52.30"));
  w.Click("PriceBtn1");
  QCOMPARE(asked.count(), 1);
  QCOMPARE(Sent(asked).Amount, 52.3);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: цена — задана"),
                            kAnswerWaitMs);

  // A text the reader refuses stays as typed, says why, and sends nothing.
  Type(w, "PriceEdit1", QStringLiteral("52.3x"));
  w.Click("PriceBtn1");
  QCOMPARE(w.Text("CommandStatusLabel"), QStringLiteral("Команда: цена — цена: не число"));
  QCOMPARE(w.Child<QAbstractSpinBox>("PriceEdit1")->text(), QStringLiteral("52.3x"));
  w.Child<QComboBox>("PresetKindBox")->setCurrentIndex(kPresetByMoney);
  Type(w, "PresetEdit", QStringLiteral("1234.56"));
  w.Click("PresetBtn");
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: доза в деньгах — цена: не число"));
  Type(w, "PriceEdit1", QStringLiteral("50,00"));
  Type(w, "PresetEdit", QStringLiteral("12.345"));
  w.Click("PresetBtn");
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: доза в деньгах — не более 2 знаков после запятой"));
  QCOMPARE(asked.count(), 0);

  // 555.55 at 50.00 is 11 whole litres: said before anything is sent.
  Type(w, "PresetEdit", QStringLiteral("555.55"));
  w.Click("PresetBtn");
  QMessageBox* question = OpenQuestion(w.Panel);
  QVERIFY(question != nullptr);
  QVERIFY2(question->text().contains(QStringLiteral("будет отпущено 11 л на 550,00")),
           qPrintable(question->text()));
  Press(question, QStringLiteral("Отмена"));
  QCOMPARE(asked.count(), 0);
  w.Click("PresetBtn");
  Press(OpenQuestion(w.Panel), QStringLiteral("Задать"));
  QCOMPARE(asked.count(), 1);
  const NozzleCommand preset = Sent(asked);
  QVERIFY(preset.Kind == CommandKind::PresetMoney && preset.Amount == 555.55);
  QCOMPARE(preset.PriceFirst.value_or(0), 50.0);
  QTRY_COMPARE_WITH_TIMEOUT(
      w.Text("CommandStatusLabel"),
      QStringLiteral("Команда: доза в деньгах — принято: будет отпущено 11 л на 550,00"),
      kAnswerWaitMs);

  // A dose of whole litres goes without a question; one under a litre not at all.
  Type(w, "PresetEdit", QStringLiteral("1 100"));
  w.Click("PresetBtn");
  QVERIFY(OpenQuestion(w.Panel) == nullptr);
  QCOMPARE(asked.count(), 1);
  Type(w, "PresetEdit", QStringLiteral("24,99"));
  w.Click("PresetBtn");
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: доза в деньгах — при этой цене доза меньше литра"));
  QCOMPARE(asked.count(), 1);
}

void OperatorTest::moneyDoseComesToWholeLitres() {
  const auto dose = [](double Money, double Price) {
    const std::optional<MoneyDose> d = DoseForMoney(Money, Price);
    return d ? std::pair(d->Litres, d->Money) : std::pair(-1.0, -1.0);
  };
  QCOMPARE(dose(555.55, 50), std::pair(11.0, 550.0));
  QCOMPARE(dose(125, 50), std::pair(2.0, 100.0));  // 2.5 L: the controller rounds half to even
  QCOMPARE(dose(0.29, 1), std::pair(0.0, 0.0));
  QCOMPARE(dose(1e9, 1), std::pair(-1.0, -1.0));  // beyond the five digits of a preset
  QCOMPARE(dose(100, 0), std::pair(-1.0, -1.0));
}

void OperatorTest::restartKeepsThePriceAndNeverSaysZeroMoney() {
  // The dispenser outlives the consoles that drive it.
  qx25::sim::BuiltInSimulator dispenser;
  const std::vector<std::string> args = {"--port", "2=" + dispenser.DevicePath(), "--nozzle",
                                         "2:1"};
  QTemporaryDir dir;
  const std::string kept = dir.filePath(QStringLiteral("kept.conf")).toStdString();
  const auto open = [&](const std::string& Settings) {
    HostOptions options = Parse(args);
    options.SettingsPath = Settings;
    auto station = std::make_unique<Station>(options);
    station->Start();
    return station;
  };
  constexpr double kLitres = 16;
  constexpr double kPrice = 52.3;
  // Started, then closed while the fuel flows.
  const auto startAndClose = [&](std::unique_ptr<Station> S) {
    PanelWidgets w(*S->Window().Panel(2, kNozzle));
    w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kLitres);
    w.Click("PresetBtn");
    w.Click("StartBtn");
    QTRY_VERIFY_WITH_TIMEOUT(w.Panel.Delivering(), kDeliveryWaitMs);
  };
  // Left alone, the controller ends the delivery; the next console's first
  // poll reads what it delivered.
  const auto finalOf = [](Station& S) {
    auto final = std::make_shared<std::optional<Amounts>>();
    QObject::connect(S.Pollers(), &PollerSet::Read, [final](const NozzleReading& R) {
      if (R.Final) *final = R.Final;
    });
    return final;
  };
  {
    auto first = open(kept);
    PanelWidgets w(*first->Window().Panel(2, kNozzle));
    w.Child<QDoubleSpinBox>("PriceEdit1")->setValue(kPrice);
    w.Click("PriceBtn1");
    startAndClose(std::move(first));
  }
  auto station = open(kept);
  {
    const auto final = finalOf(*station);
    PanelWidgets w(*station->Window().Panel(2, kNozzle));
    QCOMPARE(w.Child<QDoubleSpinBox>("PriceEdit1")->value(), kPrice);
    QTRY_VERIFY_WITH_TIMEOUT(final->has_value(), kDeliveryWaitMs);
    const Amounts sold = **final;
    QVERIFY(sold.Volume > 0);
    QCOMPARE(sold.Money.value_or(-1), std::round(sold.Volume * kPrice * 100) / 100);
    QTRY_COMPARE_WITH_TIMEOUT(
        w.Text("FinalLabel"),
        LitresText(sold.Volume) + QStringLiteral(" · ") + MoneyText(sold.Money), kAnswerWaitMs);
    startAndClose(std::move(station));
  }
  // A console that never gave a price does not know the money.
  station = open(dir.filePath(QStringLiteral("none.conf")).toStdString());
  const auto final = finalOf(*station);
  QTRY_VERIFY_WITH_TIMEOUT(final->has_value(), kDeliveryWaitMs);
  QVERIFY(!(*final)->Money);
  PanelWidgets w(*station->Window().Panel(2, kNozzle));
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("FinalLabel"),
                            LitresText((*final)->Volume) + QStringLiteral(" · цена не задана"),
                            kAnswerWaitMs);

  // A hand-edited price is refused with a warning, and the box keeps its default.
  QSettings(QString::fromStdString(kept), QSettings::IniFormat)
      .setValue(QStringLiteral("prices/2-1-1"), QStringLiteral("52,3.0"));
  QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is no price")));
  PriceMemory memory(QString::fromStdString(kept));
  QVERIFY(!memory.Price(2, kNozzle, 1));
}

void OperatorTest::oneKeyStopsTheChosenNozzle() {
  auto station = Started({"--simulate"});
  HostWindow& window = station->Window();
  QVERIFY(ShowAndStartDelivery(*station, 2, 30, kDeliveryWaitMs));
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  PanelWidgets first(*window.Panel(kSimulatedPort, 1));
  PanelWidgets second(*window.Panel(kSimulatedPort, 2));
  QCOMPARE(window.Chosen().Chosen(), &second.Panel);  // the one just started
  QVERIFY(second.Panel.title().startsWith(QStringLiteral("► ")));
  QVERIFY(!first.Panel.title().startsWith(QStringLiteral("► ")));

  // Space and Esc on a start button, anywhere: nothing goes out.
  QSignalSpy firstAsked(&first.Panel, &NozzlePanel::Command);
  QSignalSpy secondAsked(&second.Panel, &NozzlePanel::Command);
  auto* start = first.Child<QAbstractButton>("StartBtn");
  start->setFocus();
  QTRY_VERIFY(start->hasFocus());
  QCOMPARE(window.Chosen().Chosen(), &first.Panel);  // the focus chose it
  for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Escape}) QTest::keyClick(start, key);
  QTest::keyClick(&window, Qt::Key_Escape);
  QCOMPARE(firstAsked.count() + secondAsked.count(), 0);

  // The mnemonic belongs to the chosen panel alone.
  second.Child<QWidget>("PresetEdit")->setFocus();
  QTRY_COMPARE(window.Chosen().Chosen(), &second.Panel);
  QCOMPARE(second.Child<QAbstractButton>("StopBtn")->text(), QStringLiteral("&Стоп"));
  QCOMPARE(first.Child<QAbstractButton>("StopBtn")->text(), QStringLiteral("Стоп"));

  // One key from wherever the focus is stops the chosen nozzle, and it alone.
  second.Child<QWidget>("PresetEdit")->clearFocus();
  QVERIFY(QApplication::focusWidget() == nullptr);
  QTest::keyClick(&window, Qt::Key_F12);
  QCOMPARE(secondAsked.count(), 1);
  QVERIFY(secondAsked.takeFirst().at(0).value<NozzleCommand>().Kind == CommandKind::Stop);
  QCOMPARE(firstAsked.count(), 0);
  QTRY_COMPARE_WITH_TIMEOUT(second.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: стоп — принято"), kAnswerWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(!second.Text("StateLabel").startsWith(QStringLiteral("идёт налив")),
                           kDeliveryWaitMs);

  // The keys are said in the window.
  QAction* keys = window.Chosen().KeysAction();
  QVERIFY(qobject_cast<QWidget*>(keys->parent()) != nullptr);
  QVERIFY(KeysText().contains(QStringLiteral("F12")) &&
          KeysText().contains(QStringLiteral("Пробел")));
  QVERIFY(second.Child<QWidget>("StopBtn")->toolTip().contains(QStringLiteral("F12")));
  WriteScreenshot(window, QStringLiteral("qx25-host-stop-key"));
}

void OperatorTest::simulatedLinesStartAtTheCatalogValues() {
  // The parameters whose starting value is not 0, with that value.
  CTRKParameters catalog;
  catalog.Fill();
  std::vector<std::pair<int, int64_t>> expected;
  for (int i = 0; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    const int64_t value = std::clamp(p.Value, p.MinValue, p.MaxValue);
    if (LinkModeOf(p.Kind) == lmParameter && p.Code != qx25::kPasswordCode && value != 0)
      expected.emplace_back(p.Code, value);
  }
  QVERIFY(!expected.empty());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--simulate"}, std::vector<std::string>{"--station", "2"}}) {
    auto station = Started(args);
    const int port = args.front() == "--simulate" ? kSimulatedPort : 2;
    PortPoller* poller = station->Pollers()->Poller(port);
    QVERIFY(poller != nullptr);
    std::map<int, std::optional<int64_t>> read;
    QObject::connect(poller, &PortPoller::ParameterRead, station.get()->Pollers(),
                     [&read](const ParameterAnswer& A) { read[A.Query.Code] = A.Value; });
    for (const auto& [code, value] : expected)
      QMetaObject::invokeMethod(poller, [poller, code = code] {
        poller->ReadParameter({4, code, 0});
      });
    QTRY_COMPARE_WITH_TIMEOUT(read.size(), expected.size(), kDeliveryWaitMs);
    for (const auto& [code, value] : expected)
      QVERIFY2(read[code] == value, qPrintable(QStringLiteral("%1 on port %2: %3, not %4")
                                                   .arg(code)
                                                   .arg(port)
                                                   .arg(read[code].value_or(-1))
                                                   .arg(value)));
  }
}

void OperatorTest::finishedDeliveryStaysUntilSeen() {
  const auto polled = [](uint16_t State, std::optional<Amounts> Final = {}) {
    NozzleReading r;
    r.Nozzle = {3, 2, 1, 0};
    r.Poll.State = State;
    r.PortStatus = qx25::kLineOk;
    r.Final = Final;
    return r;
  };
  const auto start = TileState::Clock::now();
  const auto later = [start](std::chrono::seconds S) { return start + S; };
  const QString ended = QStringLiteral("налив окончен");
  const QString figures = QStringLiteral("21 л · ") + MoneyText(1050.0);
  // Finished, then hung up: the result stays, whatever is polled meanwhile.
  const auto finish = [&](TileState& T, std::chrono::seconds At) {
    T.ShowReading(polled(qx25::kCodeFinished, Amounts{21, 1050}), later(At));
    T.ShowReading(polled(qx25::kCodeIdle), later(At + std::chrono::seconds(1)));
  };
  TileState tile;
  finish(tile, std::chrono::seconds(0));
  tile.ShowReading(polled(qx25::kCodeIdle), later(std::chrono::seconds(59)));
  QCOMPARE(tile.Word(), ended);
  QCOMPARE(tile.Amounts(), figures);
  QVERIFY(tile.Tone() == TileTone::Finished);
  // Seen: the nozzle is free again.
  tile.Seen();
  QCOMPARE(tile.Word(), QStringLiteral("свободна"));
  QCOMPARE(tile.Amounts(), QString());

  // A new delivery on it, or a minute, ends the hold as well.
  finish(tile, std::chrono::seconds(100));
  tile.ShowReading(polled(qx25::kCodeAuthorised), later(std::chrono::seconds(102)));
  QVERIFY(tile.Word() != ended && tile.Amounts().isEmpty());
  finish(tile, std::chrono::seconds(200));
  tile.ShowOutcome({{CommandKind::Start, 3, 2, 1, 0, {}}, qx25::kLineOk, {}, false});
  QVERIFY(tile.Word() != ended);
  finish(tile, std::chrono::seconds(300));
  tile.ShowReading(polled(qx25::kCodeIdle), later(std::chrono::seconds(361)));
  QCOMPARE(tile.Word(), QStringLiteral("свободна"));
  // A line that goes down says so first.
  finish(tile, std::chrono::seconds(400));
  NozzleReading dead = polled(0);
  dead.PortStatus = qx25::serial::kLineTimeout;
  tile.ShowReading(dead, later(std::chrono::seconds(402)));
  QVERIFY(tile.Tone() == TileTone::LineDown && tile.Amounts().isEmpty());
}

void OperatorTest::aFailedLineIsSaidAsOne() {
  NozzlePanel panel({3, 1, 1, 0});
  PanelWidgets w(panel);
  NozzleReading reading;
  reading.Nozzle = panel.Config();
  reading.PortStatus = qx25::serial::kLineTimeout;
  reading.Error = QStringLiteral("Can't GetSost");
  panel.ShowReading(reading);
  QCOMPARE(w.Text("StateLabel"), QStringLiteral("сбой линии"));
  reading = {};
  reading.Nozzle = panel.Config();
  reading.PortStatus = qx25::kLineOk;
  reading.Poll.State = qx25::kCodeIdle;
  panel.ShowReading(reading);
  QCOMPARE(w.Text("StateLabel"), QStringLiteral("свободна"));
}
