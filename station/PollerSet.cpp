#include "PollerSet.h"

#include <QThread>
#include <algorithm>
#include <map>

#include "LineListModel.h"
#include "NozzlePanel.h"

namespace qx25::station {

void PreferLockFreeEventLoop() {
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}

PollerSet::PollerSet(TQX25& Driver, const std::vector<NozzlePanel*>& Panels,
                     std::chrono::milliseconds Pause, QObject* Parent,
                     std::function<std::optional<QString>(int Port)> Check)
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
    auto* poller = new PortPoller(Driver, port, std::move(nozzles), Pause);
    poller->moveToThread(thread);
    connect(thread, &QThread::started, poller, &PortPoller::Start);
    // Runs on the poller's thread as it ends, so its timer stops there.
    connect(thread, &QThread::finished, poller, &PortPoller::Halt, Qt::DirectConnection);
    // The reports are gathered on the line's thread and shown together,
    // readings and outcomes in one queue so that each line's order holds.
    std::map<int, NozzlePanel*> byNozzle;
    std::vector<NozzleCommand> first;
    for (NozzlePanel* panel : panels) {
      const NozzleConfig& config = panel->Config();
      for (int side = 1; side <= config.Sides; ++side)
        if (const std::optional<double> price = panel->RememberedPrice(side))
          first.push_back({CommandKind::SetPrice, port, config.Nozzle, side, *price, {}});
      byNozzle[panel->Config().Nozzle] = panel;
      connect(panel, &NozzlePanel::Command, poller, &PortPoller::Execute);
    }
    const auto panelOf = [byNozzle](int Nozzle) {
      const auto found = byNozzle.find(Nozzle);
      return found != byNozzle.end() ? found->second : nullptr;
    };
    connect(
        poller, &PortPoller::Reading, this,
        [this, panelOf](const NozzleReading& R) {
          Post({panelOf(R.Nozzle.Nozzle), R});
        },
        Qt::DirectConnection);
    connect(
        poller, &PortPoller::CommandDone, this,
        [this, panelOf](const CommandOutcome& O) {
          Post({panelOf(O.Command.Nozzle), O});
        },
        Qt::DirectConnection);
    poller->SetFirstCommands(std::move(first));
    // Captured by copy under its own name: clang 14 captures no structured binding.
    if (Check) poller->SetDeviceCheck([Check, Port = port] { return Check(Port); });
    Polled.push_back(PolledPort{port, thread, poller});
    thread->start();
  }
  Gathering.setInterval(kReportGathering);
  connect(&Gathering, &QTimer::timeout, this, &PollerSet::Deliver);
  if (!Polled.empty()) Gathering.start();
}

PollerSet::~PollerSet() {
  // Every line first learns to stop, so that the slow ones wait together.
  for (const PolledPort& line : Polled) {
    line.Poller->RequestStop();
    line.Thread->quit();
  }
  for (const PolledPort& line : Polled) {
    line.Thread->wait();
    delete line.Poller;
  }
}

void PollerSet::Post(Report R) {
  const std::lock_guard hold(Gathered);
  Reports.push_back(std::move(R));
}

void PollerSet::Deliver() {
  std::vector<Report> taken;
  {
    // A line's thread holding the lock may have lost its processor: the
    // window does not wait for it, it takes the reports at its next turn.
    const std::unique_lock hold(Gathered, std::try_to_lock);
    if (!hold.owns_lock()) return;
    taken.swap(Reports);
  }
  for (const Report& r : taken) {
    if (const auto* reading = std::get_if<NozzleReading>(&r.What)) {
      if (r.Panel != nullptr) r.Panel->ShowReading(*reading);
      emit Read(*reading);
    } else if (r.Panel != nullptr) {
      r.Panel->ShowOutcome(std::get<CommandOutcome>(r.What));
    }
  }
}

PortPoller* PollerSet::Poller(int Port) const {
  const auto found = std::find_if(Polled.begin(), Polled.end(),
                                  [Port](const PolledPort& L) { return L.Port == Port; });
  return found != Polled.end() ? found->Poller : nullptr;
}

}  // namespace qx25::station
