#include "HeldLines.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>

#include "Confirm.h"
#include "HostWindow.h"
#include "serial/SerialDispatcher.h"

namespace qx25::station {

HeldLines::HeldLines(HostWindow& Win, std::function<void(int Port)> Accept)
    : QObject(&Win), Window(Win), Accepting(std::move(Accept)) {
  AcceptEntry = Window.LineMenu()->addAction(QStringLiteral("Принять новое устройство…"));
  AcceptEntry->setObjectName(QStringLiteral("AcceptDeviceAction"));
  AcceptEntry->setStatusTip(
      QStringLiteral("Опрашивать то, что теперь на остановленной линии, как её устройство"));
  AcceptEntry->setEnabled(false);
  connect(AcceptEntry, &QAction::triggered, this, [this] {
    if (!Held.empty()) Ask(Held.begin()->first);
  });
}

void HeldLines::Hold(int Port, const QString& Why) {
  const bool news = Held.count(Port) == 0 || Held[Port] != Why;
  Held[Port] = Why;
  Window.SetSetupResult(Port, serial::kSerialOtherDevice, Why);
  AcceptEntry->setEnabled(true);
  if (news) Ask(Port);
}

void HeldLines::Release(int Port) {
  if (Held.erase(Port) == 0) return;
  AcceptEntry->setEnabled(!Held.empty());
  if (Question && Question->property("port").toInt() == Port) Question->close();
}

void HeldLines::Ask(int Port) {
  if (Question) Question->close();
  const auto found = Held.find(Port);
  if (found == Held.end()) return;
  QString path;
  for (const LineRow& row : Window.LineModel().Lines())
    if (row.Line.Port == Port) path = QString::fromStdString(row.Device);
  const QString text =
      QStringLiteral("На линии %1 (%2) %3.\n\nОпрос линии остановлен: ни одна команда не уйдёт "
                     "на чужие ТРК.\n\nПринять новое устройство как устройство линии? Иначе "
                     "линия ждёт прежнее и опрашивается снова, когда оно вернётся.")
          .arg(PortName(Port), path, found->second);
  Question = AskFirst(&Window,
                      {QStringLiteral("OtherDeviceBox"), Window.windowTitle(), text,
                       QStringLiteral("Принять новое устройство"), QStringLiteral("Ждать прежнее")},
                      [this, Port] { AcceptNow(Port); });
  Question->setProperty("port", Port);
}

void HeldLines::AcceptNow(int Port) {
  if (Held.erase(Port) == 0) return;
  AcceptEntry->setEnabled(!Held.empty());
  Accepting(Port);
  Window.SetSetupResult(Port, serial::kSerialOk);
}

}  // namespace qx25::station
