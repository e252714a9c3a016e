// qx25-host's command line: the lines it accepts, and arguments it refuses
// before anything is opened.
#include <QTest>
#include <string>
#include <vector>

#include "DriverLibrary.h"
#include "HostOptions.h"
#include "HostTests.h"

using namespace qx25::station;

namespace {

ParsedCommandLine ParseArgs(const QStringList& Args) {
  std::vector<std::string> args{"qx25-host"};
  for (const QString& arg : Args) args.push_back(arg.toStdString());
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

void OptionsTest::acceptsLinesAndSimulator() {
  const ParsedCommandLine parsed =
      ParseArgs({"--port", "12", "--port", "3=/dev/ttyUSB0", "--simulate", "--timeout", "250"});
  QVERIFY(parsed.Options.has_value());
  const HostOptions& options = *parsed.Options;
  QCOMPARE(options.TimeoutMs, 250);
  QVERIFY(options.DriverPath.empty());
  QCOMPARE(options.Lines.size(), size_t{3});
  QCOMPARE(options.Lines[0].Port, kSimulatedPort);
  QVERIFY(options.Lines[0].Simulated);
  QCOMPARE(options.Lines[1].Port, 3);
  QCOMPARE(options.Lines[1].Device, std::string("/dev/ttyUSB0"));
  QVERIFY(!options.Lines[1].Simulated);
  // A bare number keeps the port's default device.
  QCOMPARE(options.Lines[2].Port, 12);
  QVERIFY(options.Lines[2].Device.empty());

  // No option at all: no line, and that is not an error.
  const ParsedCommandLine none = ParseArgs({});
  QVERIFY(none.Options.has_value());
  QVERIFY(none.Options->Lines.empty());
}

void OptionsTest::nozzlesFollowTheLines() {
  // A simulated line: two dispensers of two nozzles, one side each.
  const ParsedCommandLine simulated = ParseArgs({"--simulate", "--port", "3"});
  QVERIFY(simulated.Options.has_value());
  const std::vector<NozzleConfig> expected{
      {1, 1, 1, 1}, {1, 2, 1, 1}, {1, 3, 1, 2}, {1, 4, 1, 2}, {3, 1, 1, 0}};
  QCOMPARE(simulated.Options->Nozzles, expected);

  // --nozzle replaces a line's defaults, and only that line's.
  const ParsedCommandLine given =
      ParseArgs({"--simulate", "--port", "3=/dev/ttyUSB0", "--nozzle", "3:7:2", "--nozzle", "3:2"});
  QVERIFY(given.Options.has_value());
  const std::vector<NozzleConfig>& nozzles = given.Options->Nozzles;
  QCOMPARE(nozzles.size(), size_t{6});
  QCOMPARE(nozzles[4], (NozzleConfig{3, 2, 1, 0}));
  QCOMPARE(nozzles[5], (NozzleConfig{3, 7, 2, 0}));

  // A station: lines 1..N simulated, each with its four nozzles; real lines above.
  const ParsedCommandLine station = ParseArgs({"--station", "30"});
  QVERIFY(station.Options.has_value());
  QCOMPARE(station.Options->StationLines, 30);
  QCOMPARE(station.Options->Lines.size(), size_t{30});
  QCOMPARE(station.Options->Nozzles.size(), size_t{120});
  QCOMPARE(station.Options->Lines.back().StationLine, 30);
  QVERIFY(station.Options->Lines.back().Simulated);
  const ParsedCommandLine mixed = ParseArgs({"--station", "2", "--port", "5=/dev/ttyUSB1"});
  QVERIFY(mixed.Options.has_value());
  QCOMPARE(mixed.Options->Lines.size(), size_t{3});
  QCOMPARE(mixed.Options->Lines[2].StationLine, 0);
  QCOMPARE(mixed.Options->Nozzles.back(), (NozzleConfig{5, 1, 1, 0}));
}

void OptionsTest::rejectsBadArguments_data() {
  QTest::addColumn<QStringList>("args");
  QTest::newRow("port 0") << QStringList{"--port", "0=/dev/ttyUSB0"};
  QTest::newRow("port 31") << QStringList{"--port", "31=/dev/ttyUSB0"};
  QTest::newRow("port beyond an int") << QStringList{"--port", "99999999999=/dev/ttyUSB0"};
  QTest::newRow("negative port") << QStringList{"--port=-1=/dev/ttyUSB0"};
  QTest::newRow("no number") << QStringList{"--port", "=/dev/ttyUSB0"};
  QTest::newRow("not a number") << QStringList{"--port", "COM3=/dev/ttyUSB0"};
  QTest::newRow("no device after =") << QStringList{"--port", "3="};
  QTest::newRow("port twice") << QStringList{"--port", "3=/dev/a", "--port", "3=/dev/b"};
  QTest::newRow("simulator's port") << QStringList{"--simulate", "--port", "1=/dev/ttyUSB0"};
  QTest::newRow("timeout 0") << QStringList{"--timeout", "0"};
  QTest::newRow("timeout not a number") << QStringList{"--timeout", "soon"};
  QTest::newRow("unknown option") << QStringList{"--device", "/dev/ttyUSB0"};
  QTest::newRow("station 0") << QStringList{"--station", "0"};
  QTest::newRow("station 31") << QStringList{"--station", "31"};
  QTest::newRow("station and simulator") << QStringList{"--station", "2", "--simulate"};
  QTest::newRow("port inside the station") << QStringList{"--station", "4", "--port", "4=/dev/a"};
  QTest::newRow("nozzle without sides' number") << QStringList{"--simulate", "--nozzle", "1:2:"};
  QTest::newRow("nozzle 33") << QStringList{"--simulate", "--nozzle", "1:33"};
  QTest::newRow("nozzle 0") << QStringList{"--simulate", "--nozzle", "1:0"};
  QTest::newRow("five sides") << QStringList{"--simulate", "--nozzle", "1:1:5"};
  QTest::newRow("nozzle on no line") << QStringList{"--simulate", "--nozzle", "2:1"};
  QTest::newRow("nozzle twice") << QStringList{"--port=3", "--nozzle=3:1", "--nozzle=3:1:2"};
  QTest::newRow("nozzle in words") << QStringList{"--port", "3", "--nozzle", "three:1"};
}

void OptionsTest::rejectsBadArguments() {
  QFETCH(QStringList, args);
  const ParsedCommandLine parsed = ParseArgs(args);
  QVERIFY(!parsed.Options.has_value());
  QCOMPARE(parsed.ExitStatus, static_cast<int>(kHostExitBadArguments));
}

void OptionsTest::versionEndsWithoutOptions() {
  const ParsedCommandLine parsed = ParseArgs({"--version"});
  QVERIFY(!parsed.Options.has_value());
  QCOMPARE(parsed.ExitStatus, static_cast<int>(kHostExitOk));
  QVERIFY(parsed.VersionAsked);
  QVERIFY(parsed.DriverPath.empty());
  // The driver asked is the one --driver names, wherever that option stands.
  const ParsedCommandLine named = ParseArgs({"--version", "--driver", "/opt/libqx25.so.2"});
  QVERIFY(named.VersionAsked);
  QCOMPARE(named.DriverPath, std::string("/opt/libqx25.so.2"));
  QCOMPARE(DriverCandidates(named.DriverPath, "/usr/bin"),
           std::vector<std::string>{"/opt/libqx25.so.2"});
  // No driver to load: the host's own version, and the failure as such.
  QCOMPARE(PrintVersion({"/nonexistent/libqx25.so.2"}), static_cast<int>(kHostExitNoDriver));
}
