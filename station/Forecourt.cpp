#include "Forecourt.h"

#include <QThread>
#include <algorithm>
#include <map>

#include "LineListModel.h"
#include "NozzlePanel.h"

namespace qx25::hostapp {

void PreferLockFreeEventLoop() {
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}

Forecourt::Forecourt(TQX25& Driver, const std::vector<NozzlePanel*>& Panels,
                     std::chrono::milliseconds Pause, QObject* Parent)
    : QObject(Parent) {
  qRegisterMetaType<NozzleCommand>();
  qRegisterMetaType<CommandOutcome>();
  qRegisterMetaType<NozzleReading>();
  qRegisterMetaType<ParameterQuery>();
  qRegisterMetaType<ParameterAnswer>();

  std::map<int, std::vector<NozzlePanel*>> byPort;
  for (NozzlePanel* panel : Panels) byPort[panel->Config().Port].push_back(panel);
  for (const auto& [port, panels] : byPort) {
    std::vector<NozzleConfig> nozzles;
    for (const NozzlePanel* panel : panels) nozzles.push_back(panel->Config());
    auto* thread = new QThread(this);
    thread->setObjectName(QStringLiteral("Poller ") + PortName(port));
    auto* poller = new LinePoller(Driver, port, std::move(nozzles), Pause);
    poller->moveToThread(thread);
    connect(thread, &QThread::started, poller, &LinePoller::Start);
    // Runs on the poller's thread as it ends, so its timer stops there.
    connect(thread, &QThread::finished, poller, &LinePoller::Halt, Qt::DirectConnection);
    // One queued event a reading, whatever the number of panels: every
    // cross-thread event takes the window thread's event queue for a moment.
    std::map<int, NozzlePanel*> byNozzle;
    for (NozzlePanel* panel : panels) {
      byNozzle[panel->Config().Nozzle] = panel;
      connect(panel, &NozzlePanel::Command, poller, &LinePoller::Execute);
    }
    connect(poller, &LinePoller::Reading, this, [this, byNozzle](const NozzleReading& R) {
      const auto found = byNozzle.find(R.Nozzle.Nozzle);
      if (found != byNozzle.end()) found->second->ShowReading(R);
      emit Read(R);
    });
    connect(poller, &LinePoller::CommandDone, this, [byNozzle](const CommandOutcome& O) {
      const auto found = byNozzle.find(O.Command.Nozzle);
      if (found != byNozzle.end()) found->second->ShowOutcome(O);
    });
    LineThreads.push_back(Line{port, thread, poller});
    thread->start();
  }
}

Forecourt::~Forecourt() {
  // Every line first learns to stop, so that the slow ones wait together.
  for (const Line& line : LineThreads) {
    line.Poller->RequestStop();
    line.Thread->quit();
  }
  for (const Line& line : LineThreads) {
    line.Thread->wait();
    delete line.Poller;
  }
}

LinePoller* Forecourt::Poller(int Port) const {
  const auto found = std::find_if(LineThreads.begin(), LineThreads.end(),
                                  [Port](const Line& L) { return L.Port == Port; });
  return found != LineThreads.end() ? found->Poller : nullptr;
}

}  // namespace qx25::hostapp
