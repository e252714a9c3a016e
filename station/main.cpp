// qx25-host: a station's control program in small. It loads the dispenser
// driver libqx25.so at run time, runs it on the configured serial lines (or
// the built-in simulator) and lets the driver add its service entries to the
// menu.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <system_error>

#include "Station.h"

using namespace qx25::station;

int main(int argc, char** argv) {
  // Help, version and bad arguments need no display.
  ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  if (parsed.VersionAsked) {
    // The driver is looked for from the executable's folder, as for a run.
    const QCoreApplication core(argc, argv);
    return PrintVersion(
        DriverCandidates(parsed.DriverPath, QCoreApplication::applicationDirPath().toStdString()));
  }
  if (!parsed.Options) return parsed.ExitStatus;

  PreferLockFreeEventLoop();
  QApplication app(argc, argv);
  HostOptions options = std::move(*parsed.Options);
  options.ExecutableDir = QCoreApplication::applicationDirPath().toStdString();
  try {
    Station station(std::move(options));
    try {
      station.Start();
    } catch (const DriverLoadError& e) {
      std::fprintf(stderr, "qx25-host: %s\n", e.what());
      QMessageBox::critical(&station.Window(), QStringLiteral("qx25-host"),
                            QStringLiteral("Не удалось загрузить драйвер ТРК.\n\n") +
                                QString::fromStdString(e.what()));
      return kHostExitNoDriver;
    }
    station.Window().show();
    return QApplication::exec();
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "qx25-host: cannot start the built-in simulator: %s\n", e.what());
    return kHostExitNoDriver;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx25-host: %s\n", e.what());
    return kHostExitNoDriver;
  }
}
