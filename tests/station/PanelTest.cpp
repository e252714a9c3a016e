// A console's panels fed what the pollers report, without a line: what the
// operator reads, and where the buttons stay.
#include <QAbstractButton>
#include <QRegularExpression>
#include <QTest>
#include <map>

#include "ConsoleRig.h"
#include "HostTests.h"
#include "programs/PortStatusWords.h"

using namespace consoletest;

namespace {

constexpr int kPort = 3;

std::vector<NozzleConfig> TwoDispensers() {
  return {{kPort, 1, 1, 1}, {kPort, 2, 1, 1}, {kPort, 3, 1, 2}, {kPort, 4, 1, 2}};
}

// Every button of the window, where it stands in the window.
std::map<QString, QRect> ButtonPlaces(HostWindow& Window) {
  std::map<QString, QRect> places;
  for (NozzlePanel* panel : Window.Panels())
    for (QAbstractButton* button : panel->findChildren<QAbstractButton*>())
      places[panel->objectName() + QLatin1Char('/') + button->objectName()] =
          QRect(button->mapTo(&Window, QPoint(0, 0)), button->size());
  return places;
}

}  // namespace

void PanelTest::longMessagesMoveNothing() {
  HostWindow window;
  window.SetNozzles(TwoDispensers());
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const std::map<QString, QRect> before = ButtonPlaces(window);
  QVERIFY(!before.empty());

  NozzlePanel& panel = *window.Panel(kPort, 1);
  const QString driverText = QStringLiteral(
      "Price 0 of port 3, nozzle 1, side 1 must be above 0 to preset by money; the controller "
      "was not asked, and nothing was stored for this nozzle or any other on the line");
  panel.ShowOutcome(
      {{CommandKind::PresetMoney, kPort, 1, 1, 100, {}}, qx25::kRefusedCurrent, {}, false});
  NozzleReading reading;
  reading.Nozzle = panel.Config();
  reading.PortStatus = qx25::kStatusBadSettings;
  reading.Error = driverText;
  panel.ShowReading(reading);
  QApplication::processEvents();
  QCOMPARE(ButtonPlaces(window), before);

  // The whole text is in the tip, the driver's own after it.
  PanelWidgets w(panel);
  QCOMPARE(w.Child<QLabel>("CommandStatusLabel")->toolTip(), w.Text("CommandStatusLabel"));
  const QString tip = w.Child<QLabel>("PollStatusLabel")->toolTip();
  QVERIFY2(tip.startsWith(w.Text("PollStatusLabel")) && tip.endsWith(driverText), qPrintable(tip));
  WriteScreenshot(panel, QStringLiteral("qx25-host-panel-long-refusal"));
}

void PanelTest::everyStatusIsInRussian() {
  NozzlePanel panel({kPort, 1, 1, 1});
  PanelWidgets w(panel);
  const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
  std::vector<int> codes;
  for (const qx25::TPortStatusWords& row : qx25::PortStatusWords) codes.push_back(row.Code);
  codes.push_back(200);  // a host's own, written through slot 2
  for (const int code : codes) {
    // The driver's English comes with line failures; the label keeps to Russian.
    panel.ShowOutcome({{CommandKind::Start, kPort, 1, 1, 0, {}},
                       code,
                       QStringLiteral("Can't START POMP"),
                       false});
    NozzleReading reading;
    reading.Nozzle = panel.Config();
    reading.PortStatus = code;
    reading.Error = QStringLiteral("Can't GetSost");
    panel.ShowReading(reading);
    for (const char* label : {"CommandStatusLabel", "PollStatusLabel"}) {
      const QString text = w.Text(label);
      QVERIFY2(!text.contains(latin), qPrintable(text));
      // A code is named as one, never left bare where a port number could stand.
      if (code > qx25::kLineOk)
        QVERIFY2(text.contains(QStringLiteral("(код %1)").arg(code)) ||
                     text.endsWith(QStringLiteral("не выполнена")) ||
                     text.endsWith(QStringLiteral("не выполнен")),
                 qPrintable(text));
    }
    QVERIFY(w.Child<QLabel>("CommandStatusLabel")
                ->toolTip()
                .endsWith(QStringLiteral("Can't START POMP")));
  }
  // A line failure says which, with its code.
  panel.ShowOutcome({{CommandKind::Stop, kPort, 1, 1, 0, {}},
                     qx25::kStatusNoDevice,
                     QStringLiteral("Can't STOP POMP"),
                     false});
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: стоп — сбой линии: нет устройства (код 5)"));
}
