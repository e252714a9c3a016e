// The console driven as an operator without a mouse drives it: every key
// goes to the window as the keyboard would send it, never to a widget
// chosen by the test, and nothing is clicked or called.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "ChosenNozzle.h"
#include "ConsoleRig.h"
#include "HostTests.h"

using namespace consoletest;

namespace {

constexpr int kWaitMs = 10000;  // only a broken console waits this long

// The panel's control that holds the keyboard (a field's line edit counts
// as the field), by its object name; empty when the keyboard is elsewhere.
QString Focused(const NozzlePanel& Panel) {
  const QWidget* focus = QApplication::focusWidget();
  if (!Panel.isAncestorOf(focus)) return {};
  for (; focus != &Panel; focus = focus->parentWidget())
    if (!focus->objectName().isEmpty() && !focus->objectName().startsWith(QStringLiteral("qt_")))
      return focus->objectName();
  return {};
}

class Keyboard {
 public:
  explicit Keyboard(QWidget& Window) : Target(Window.windowHandle()) {}
  void Press(Qt::Key Key, Qt::KeyboardModifiers With = Qt::NoModifier) {
    QTest::keyClick(Target, Key, With);
  }
  // A letter beyond ASCII, as the keyboard sends it: the key of the capital, the text typed.
  void Press(QChar Letter, Qt::KeyboardModifiers With) {
    QTest::sendKeyEvent(QTest::Click, Target, Qt::Key(Letter.toUpper().unicode()), QString(Letter),
                        With);
  }
  void Type(const char* Text) {
    for (const char* c = Text; *c != '\0'; ++c) QTest::keyClick(Target, *c);
  }
  // Tab until Panel's control Name has the keyboard; false past Most presses.
  bool TabTo(const NozzlePanel& Panel, const QString& Name, int Most) {
    for (int i = 0; i < Most && Focused(Panel) != Name; ++i) Press(Qt::Key_Tab);
    return Focused(Panel) == Name;
  }

 private:
  QWindow* Target;
};

NozzleCommand Sent(QSignalSpy& Spy) { return Spy.takeFirst().at(0).value<NozzleCommand>(); }

}  // namespace

void OperatorTest::keyboardAloneDeliversAndStops() {
  auto station = Started({"--simulate"});
  HostWindow& window = station->Window();
  window.show();
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  Keyboard keys(window);
  PanelWidgets first(*window.Panel(kSimulatedPort, 1));
  PanelWidgets second(*window.Panel(kSimulatedPort, 2));
  PanelWidgets last(*window.Panels().back());
  QSignalSpy asked(&second.Panel, &NozzlePanel::Command);
  QSignalSpy others(&first.Panel, &NozzlePanel::Command);

  // The keyboard starts in the chosen nozzle's dose; Ctrl+PgDown chooses the
  // next, round the forecourt.
  QCOMPARE(Focused(first.Panel), QStringLiteral("PresetEdit"));
  keys.Press(Qt::Key_PageUp, Qt::ControlModifier);
  QCOMPARE(window.Chosen().Chosen(), &last.Panel);
  QCOMPARE(Focused(last.Panel), QStringLiteral("PresetEdit"));
  // Past the last panel, Tab goes on to the rest of the window.
  for (int i = 0; i < 20 && !Focused(last.Panel).isEmpty(); ++i) keys.Press(Qt::Key_Tab);
  QVERIFY(window.findChild<QWidget*>(QStringLiteral("ConsoleTabs"))
              ->isAncestorOf(QApplication::focusWidget()));
  keys.Press(Qt::Key_PageDown, Qt::ControlModifier);
  keys.Press(Qt::Key_PageDown, Qt::ControlModifier);
  QCOMPARE(window.Chosen().Chosen(), &second.Panel);
  QVERIFY(second.Panel.title().startsWith(QStringLiteral("► ")));

  // A whole delivery: the dose typed over, the price next, then Задать and Пуск.
  QCOMPARE(Focused(second.Panel), QStringLiteral("PresetEdit"));
  keys.Type("3");
  QVERIFY(keys.TabTo(second.Panel, QStringLiteral("PriceEdit1"), 2));
  keys.Type("52.30");
  QVERIFY(keys.TabTo(second.Panel, QStringLiteral("PresetBtn"), 2));
  // Space and Esc send nothing, wherever they are pressed.
  keys.Press(Qt::Key_Space);
  keys.Press(Qt::Key_Escape);
  QCOMPARE(asked.count(), 0);
  keys.Press(Qt::Key_Return);
  QCOMPARE(asked.count(), 1);
  const NozzleCommand preset = Sent(asked);
  QVERIFY(preset.Kind == CommandKind::PresetVolume && preset.Amount == 3);
  QTRY_COMPARE_WITH_TIMEOUT(second.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: доза в литрах — принято"), kWaitMs);
  QVERIFY(keys.TabTo(second.Panel, QStringLiteral("StartBtn"), 1));
  keys.Press(Qt::Key_Space);
  keys.Press(Qt::Key_Escape);
  QCOMPARE(asked.count(), 0);
  keys.Press(Qt::Key_Return);
  const NozzleCommand start = Sent(asked);
  QVERIFY(start.Kind == CommandKind::Start);
  QCOMPARE(start.PriceFirst.value_or(0), 52.3);  // the price typed goes first
  QTRY_COMPARE_WITH_TIMEOUT(second.Text("FinalLabel"),
                            LitresText(3) + QStringLiteral(" · ") + MoneyText(156.9), kWaitMs);

  // A delivery stopped: a dose typed and sent by Enter in its field, Стоп
  // one Tab after Пуск.
  keys.Press(Qt::Key_PageUp, Qt::ControlModifier);
  keys.Press(Qt::Key_PageDown, Qt::ControlModifier);
  keys.Type("500");
  keys.Press(Qt::Key_Return);
  QTRY_COMPARE_WITH_TIMEOUT(second.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: доза в литрах — принято"), kWaitMs);
  QCOMPARE(Sent(asked).Amount, 500.0);
  QVERIFY(keys.TabTo(second.Panel, QStringLiteral("StartBtn"), 6));
  keys.Press(Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(second.Text("StateLabel").startsWith(QStringLiteral("идёт налив")),
                           kWaitMs);
  QVERIFY(keys.TabTo(second.Panel, QStringLiteral("StopBtn"), 1));
  WriteScreenshot(window, QStringLiteral("qx25-host-keyboard"));
  keys.Press(Qt::Key_Space);
  keys.Press(Qt::Key_Escape);
  QVERIFY(second.Text("StateLabel").startsWith(QStringLiteral("идёт налив")));
  // The Stop button's mnemonic, which no menu shares.
  keys.Press(QChar(u'с'), Qt::AltModifier);
  QTRY_VERIFY_WITH_TIMEOUT(second.Text("StateLabel").startsWith(QStringLiteral("налив остановлен")),
                           kWaitMs);
  QVERIFY(asked.last().at(0).value<NozzleCommand>().Kind == CommandKind::Stop);
  QCOMPARE(others.count(), 0);
}
