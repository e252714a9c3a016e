#include "ConsoleRig.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "terminal/Terminal.h"

namespace consoletest {

namespace {

// The probe's timer: as often as the loop can turn.
constexpr int kProbeIntervalMs = 1;
// How often WaitFor looks at its condition.
constexpr int kConditionCheckMs = 5;

// Nanoseconds the calling thread has spent waiting on a run queue: the second
// figure of /proc/thread-self/schedstat. 0 where the kernel does not keep it,
// and the gaps are then plain wall time.
qint64 RunQueueWaitNs() {
  QFile file(QStringLiteral("/proc/thread-self/schedstat"));
  if (!file.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = file.readAll().split(' ');
  return fields.size() >= 2 ? fields[1].toLongLong() : 0;
}

// The first figure of a schedstat file: nanoseconds on a processor.
qint64 OnCpuNs(const QString& Path) {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  return file.readAll().split(' ').value(0).toLongLong();
}

}  // namespace

HostCpu HostCpuSeconds() {
  const QString self = QString::number(getpid());
  HostCpu cpu;
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString task = tasks.filePath(tid);
    QFile comm(task + QStringLiteral("/comm"));
    const QString name =
        comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
    const double seconds = static_cast<double>(OnCpuNs(task + QStringLiteral("/schedstat"))) / 1e9;
    // Thread names are the QThread object names, cut to 15 bytes.
    if (tid == self)
      cpu.Window += seconds;
    else if (name.startsWith(QStringLiteral("Poller")) || name == QStringLiteral("Statistics"))
      cpu.Lines += seconds;
  }
  return cpu;
}

HostOptions Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "qx25-host");
  std::vector<const char*> argv;
  for (const std::string& arg : Args) argv.push_back(arg.c_str());
  ParsedCommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  if (!parsed.Options) throw std::invalid_argument("arguments refused");
  parsed.Options->ExecutableDir = QX25_HOST_DIR;
  // A console's own settings, never the user's: each station starts with none.
  static QTemporaryDir settings;
  static int made = 0;
  parsed.Options->SettingsPath =
      settings.filePath(QStringLiteral("qx25-host-%1.conf").arg(++made)).toStdString();
  return *parsed.Options;
}

std::unique_ptr<Station> Started(std::vector<std::string> Args) {
  auto station = std::make_unique<Station>(Parse(std::move(Args)));
  station->Start();
  return station;
}

PanelWidgets::PanelWidgets(NozzlePanel& P) : Panel(P) {}

void PanelWidgets::Click(const char* Button) {
  QTest::mouseClick(Child<QAbstractButton>(Button), Qt::LeftButton);
}

SilentLine::SilentLine() {
  const qx25::terminal::PseudoTerminal pty = qx25::terminal::OpenPseudoTerminal();
  Master = pty.Master;
  SlavePath = pty.SlavePath;
  // Held open so that the line never hangs up while the host reopens it.
  Hold = open(SlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Hold < 0) throw std::runtime_error("cannot open " + SlavePath);
}

SilentLine::~SilentLine() {
  if (Hold >= 0) close(Hold);
  if (Master >= 0) close(Master);
}

LoopProbe::LoopProbe() {
  Timer.setTimerType(Qt::PreciseTimer);
  connect(&Timer, &QTimer::timeout, this, &LoopProbe::Turn);
  Clock.start();
  LastWallNs = Clock.nsecsElapsed();
  LastWaitNs = RunQueueWaitNs();
  Timer.start(kProbeIntervalMs);
}

void LoopProbe::Turn() {
  const qint64 wall = Clock.nsecsElapsed();
  const qint64 wait = RunQueueWaitNs();
  const double gapMs = static_cast<double>((wall - LastWallNs) - (wait - LastWaitNs)) / 1e6;
  if (gapMs > Worst) Worst = gapMs;
  LastWallNs = wall;
  LastWaitNs = wait;
  ++Count;
}

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs) {
  if (Condition()) return true;
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (Condition()) loop.quit();
  });
  check.start(kConditionCheckMs);
  QTimer::singleShot(TimeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  return Condition();
}

void Spin(int Ms) {
  // No condition to check, so nothing wakes the loop but the station itself:
  // the load tests measure the station, not the wait.
  QEventLoop loop;
  QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool ShowAndStartDelivery(Station& S, int Nozzle, double Litres, int TimeoutMs) {
  HostWindow& window = S.Window();
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return false;
  PanelWidgets w(*window.Panel(kSimulatedPort, Nozzle));
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(Litres);
  w.Click("PresetBtn");
  w.Click("StartBtn");
  return WaitFor([&] { return w.Text("StateLabel") == QStringLiteral("идёт налив, сторона 1"); },
                 TimeoutMs);
}

QAbstractButton* Answer(QMessageBox* Box, const QString& Caption) {
  if (Box == nullptr) return nullptr;
  for (QAbstractButton* button : Box->buttons())
    if (button->text() == Caption) return button;
  return nullptr;
}

QMessageBox* OpenQuestion(QWidget& Owner, const char* Name) {
  for (QMessageBox* box : Owner.findChildren<QMessageBox*>(QString::fromUtf8(Name)))
    if (box->isVisible()) return box;
  return nullptr;
}

void WriteScreenshot(QWidget& Widget, const QString& Name) {
  const QString dir = QStringLiteral(QX25_SCREENSHOT_DIR);
  QDir().mkpath(dir);
  Widget.grab().save(dir + QLatin1Char('/') + Name + QStringLiteral(".png"));
}

}  // namespace consoletest
