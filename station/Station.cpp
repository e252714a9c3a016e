#include "Station.h"

#include <QAction>
#include <QFileInfo>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMenuBar>
#include <QStatusBar>
#include <algorithm>

#include "CompareDialog.h"
#include "HostMenu.h"
#include "NozzlePanel.h"
#include "params/ParameterUnit.h"
#include "programs/LogLines.h"
#include "programs/ProgramVersion.h"
#include "sim/CatalogValues.h"

namespace qx25::station {

namespace {

// The options word of GetQX25: no flags set.
constexpr uint32_t kDriverOptions = 0;
// The driver describes itself as "v2.41#Протокол наливной Ж-4".
constexpr char kDriverInfoSeparator = '#';

// "v2.41, Протокол наливной Ж-4".
QString Describe(const TDriverInfo& Info) {
  QString text = QString::fromStdString(programs::DriverInfoText(Info));
  const qsizetype separator = text.indexOf(QLatin1Char(kDriverInfoSeparator));
  if (separator >= 0) text.replace(separator, 1, QStringLiteral(", "));
  return text;
}

// Qt's own words (the file dialogs' buttons and captions) in the user's
// language, once per application. The property is the one the driver's
// service window looks at, so that the two never load them twice.
void LoadQtTranslations(const QLocale& Locale) {
  QCoreApplication* app = QCoreApplication::instance();
  constexpr char kLoaded[] = "qx25QtTranslations";
  if (app == nullptr || app->property(kLoaded).toBool()) return;
  app->setProperty(kLoaded, true);
  auto* translator = new QTranslator(app);
  if (translator->load(Locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;  // English is what Qt speaks without one
}

}  // namespace

Station::Station(HostOptions Options) : Settings(std::move(Options)) {
  // Doses, prices and money are read and written in the user's own format.
  const QLocale locale = QLocale::system();
  SetNumberFormat({locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()});
  LoadQtTranslations(locale);
  if (Settings.StationLines > 0) {
    SimStation = std::make_unique<sim::SimulatedStation>(Settings.StationLines);
    for (int k = 1; k <= SimStation->LineCount(); ++k)
      sim::SetCatalogValues(SimStation->Simulator(k));
  }
  std::vector<LineRow> rows;
  for (const LineConfig& line : Settings.Lines) {
    const auto port = static_cast<uint8_t>(line.Port);
    if (line.StationLine > 0 && SimStation) {
      SerialPorts.SetDevicePath(port, SimStation->DevicePath(line.StationLine));
    } else if (line.Simulated) {
      if (!Sim) {
        Sim = std::make_unique<sim::BuiltInSimulator>();
        sim::SetCatalogValues(*Sim);
      }
      SerialPorts.SetDevicePath(port, Sim->DevicePath());
    } else if (!line.Device.empty()) {
      SerialPorts.SetDevicePath(port, line.Device);
    }
    rows.push_back(LineRow{line, SerialPorts.DevicePath(port), std::nullopt, {}});
  }
  if (Settings.TimeoutMs > 0) {
    serial::SerialTimeouts limits = SerialPorts.Timeouts();
    limits.FirstByte = std::chrono::milliseconds(Settings.TimeoutMs);
    SerialPorts.SetTimeouts(limits);
  }
  if (Settings.LogLevel != llOff)
    SerialPorts.SetLog(Settings.LogLevel, [](int Level, const std::string& Line) {
      programs::LogToStderr(nullptr, Level, Line.c_str());
    });
  Traces = std::make_shared<TraceBuffer>();
  // The statistics and the trace pane share the dispatcher's one trace.
  SerialPorts.SetTrace(Stats.Recorder(Recordings.Tap(TraceBuffer::Callback(Traces))));
  TraceRows = std::make_unique<TraceModel>(Traces);
  StatisticsView = std::make_unique<StatisticsModel>(Stats);
  MainWindow = std::make_unique<HostWindow>();
  MainWindow->SetLines(std::move(rows));
  MainWindow->SetNozzles(Settings.Nozzles);
  Prices = std::make_unique<PriceMemory>(QString::fromStdString(Settings.SettingsPath));
  for (NozzlePanel* panel : MainWindow->Panels()) {
    const NozzleConfig nozzle = panel->Config();
    for (int side = 1; side <= nozzle.Sides; ++side)
      if (const std::optional<double> price = Prices->Price(nozzle.Port, nozzle.Nozzle, side))
        panel->RememberPrice(side, *price);
    QObject::connect(panel, &NozzlePanel::PriceGiven, panel, [this, nozzle](int Side, double P) {
      Prices->Keep(nozzle.Port, nozzle.Nozzle, Side, P);
    });
  }
  MainWindow->SetTraceModel(TraceRows.get());
  MainWindow->SetStatisticsModel(StatisticsView.get());
  MainWindow->SetDriverText(QStringLiteral("Драйвер не загружен"), {});
  RecordEntry = new RecordMenu(
      *MainWindow,
      [this](const QString& Path) {
        try {
          StartRecording(Path.toStdString());
          return QString();
        } catch (const record::RecordingError& e) {
          return QString::fromStdString(e.what());
        }
      },
      [this] { StopRecording(); },
      [this] {
        const auto recorder = Recording();
        return recorder ? QString::fromStdString(recorder->Failure()) : QString();
      });
}

void Station::StartRecording(const std::string& Path) {
  record::RecordingHeader header;
  header.Program = programs::ProgramVersion("qx25-host");
  header.Driver = LoadedDriver ? programs::DriverInfoText(LoadedDriver->GetDriverInfo()) : "not loaded";
  for (const LineConfig& line : Settings.Lines)
    header.Lines.emplace_back(line.Port, SerialPorts.DevicePath(static_cast<uint8_t>(line.Port)));
  const serial::SerialTimeouts waits = SerialPorts.Timeouts();
  header.FirstByteMs = static_cast<int>(waits.FirstByte.count());
  header.BetweenMs = static_cast<int>(waits.Between.count());
  record::RecordLimits limits;
  limits.MaxBytes = static_cast<uint64_t>(Settings.RecordMaxMiB) << 20;
  Recordings.Start(record::Recorder::Open(Path, std::move(header), limits));
}

void Station::StopRecording() { Recordings.Stop(); }

Station::~Station() {
  PollerThreads.reset();
  if (LoadedLibrary.LogSwitch() != nullptr && Settings.LogLevel != llOff)
    LoadedLibrary.LogSwitch()(llOff, nullptr, nullptr);
  MainWindow.reset();
  LoadedDriver.reset();
  for (const LineConfig& line : Settings.Lines) SerialPorts.Close(static_cast<uint8_t>(line.Port));
  SerialPorts.SetTrace({});
  Recordings.Stop();
}

void Station::Start() {
  if (Started) throw std::logic_error("the station is already started");
  Started = true;
  try {
    LoadedLibrary.Load(DriverCandidates(Settings.DriverPath, Settings.ExecutableDir));
  } catch (const DriverLoadError&) {
    MainWindow->SetDriverText(QStringLiteral("Драйвер не загружен: нет libqx25"), {});
    throw;
  }
  // Not the forecourt itself: the service window is modal to its owner.
  LoadedDriver.reset(LoadedLibrary.Factory()(
      kDriverOptions, reinterpret_cast<uintptr_t>(&MainWindow->ServiceOwner()), &SerialPorts));
  if (Settings.LogLevel != llOff) {
    if (LoadedLibrary.LogSwitch() != nullptr)
      LoadedLibrary.LogSwitch()(Settings.LogLevel, &programs::LogToStderr, nullptr);
    else
      qWarning("qx25-host: %s has no %s: only the lines' decisions are logged",
               LoadedLibrary.Path().c_str(), kLogEntry);
  }
  const QString path = QString::fromStdString(LoadedLibrary.Path());
  MainWindow->SetDriverText(
      QFileInfo(path).fileName() + QStringLiteral(" ") + Describe(LoadedDriver->GetDriverInfo()),
      QFileInfo(path).absoluteFilePath());

  // From the first exchange on, with the driver named in the header.
  if (!Settings.RecordPath.empty() &&
      !RecordEntry->RecordTo(QString::fromStdString(Settings.RecordPath)))
    qWarning("qx25-host: --record %s: %s", Settings.RecordPath.c_str(),
             qPrintable(MainWindow->statusBar()->currentMessage()));

  for (const LineConfig& line : Settings.Lines) {
    int32_t result;
    QString reason;
    try {
      result = LoadedDriver->SetupPort(line.Port);
      // Kept by the dispatcher for this thread, which just set the line up.
      reason = QString::fromLocal8Bit(SerialPorts.LastFailureText(static_cast<uint8_t>(line.Port)));
    } catch (const std::exception&) {
      result = serial::kSerialBadSettings;
    }
    MainWindow->SetSetupResult(line.Port, result, reason);
  }
  // The station runs without the driver's menu entries rather than not at all.
  try {
    LoadedDriver->InstallMenu(MainWindow->menuBar(), &CreateMenuItem);
  } catch (const std::exception& e) {
    qWarning("qx25-host: the driver could not add its menu entries: %s", e.what());
  }
  PollerThreads = std::make_unique<PollerSet>(
      *LoadedDriver, MainWindow->Panels(), kRoundPause, nullptr,
      [this](int Port) -> std::optional<QString> {
        const auto change = SerialPorts.ChangedDevice(static_cast<uint8_t>(Port));
        if (!change) return std::nullopt;
        return QStringLiteral("%1, было %2")
            .arg(QString::fromStdString(change->Now), QString::fromStdString(change->Was));
      });
  HostWindow* window = MainWindow.get();
  PollerSet* lines = PollerThreads.get();
  Holds = new HeldLines(*window, [this, lines](int Port) {
    SerialPorts.AcceptDevice(static_cast<uint8_t>(Port));
    if (PortPoller* poller = lines->Poller(Port))
      QMetaObject::invokeMethod(poller, &PortPoller::AcceptDevice);
  });
  QObject::connect(window->CompareAction(), &QAction::triggered, window,
                   [this, window, lines] { OpenCompareDialog(Settings.Nozzles, *lines, *window); });
  window->CompareAction()->setEnabled(lines->LineCount() > 0);
  // The line list follows its devices as they go and come back.
  QObject::connect(lines, &PollerSet::Read, window, [window, held = Holds](const NozzleReading& R) {
    if (!R.OtherDevice.isEmpty()) return held->Hold(R.Nozzle.Port, R.OtherDevice);
    held->Release(R.Nozzle.Port);
    window->LineModel().ShowPortStatus(R.Nozzle.Port, R.PortStatus);
  });
}

}  // namespace qx25::station
