// qx25-host as one object, so that a test builds exactly what main() builds:
// the serial dispatcher with the configured lines (and the built-in simulator
// on one of them), the main window with its nozzle panels and trace, and then
// the driver, loaded from libqx25.so at run time, set up on every line and
// given the menu, and a poller for every line.
//
//   Station station(options);   // lines and window; the simulator answers
//   station.Start();            // driver: throws DriverLoadError
//   station.Window().show();
//
// The window, the station object and the trace model live on the
// user-interface thread; every driver operation of the console runs on the
// line's poller thread.
#pragma once

#include <memory>

#include "DriverLibrary.h"
#include "HeldLines.h"
#include "PollerSet.h"
#include "PriceMemory.h"
#include "HostOptions.h"
#include "HostWindow.h"
#include "RecordMenu.h"
#include "StatisticsModel.h"
#include "TraceModel.h"
#include "driver/DriverPtr.h"
#include "record/Recorder.h"
#include "serial/LineStatistics.h"
#include "serial/SerialDispatcher.h"
#include "sim/BuiltInSimulator.h"

namespace qx25::station {

class Station {
 public:
  // Starts the built-in simulator when a line is simulated, or the simulated
  // station's lines (throws std::system_error when the system gives no
  // pseudo-terminal), points the dispatcher's ports at their devices, lists
  // the lines in the window and gives it a panel per nozzle.
  explicit Station(HostOptions Options);
  // The pollers stop first, then the window goes (its menu holds the
  // driver's entries), then the driver, then the lines.
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Loads the driver library (the --driver path, else the search list), makes
  // the driver on the dispatcher with the window's service owner as AppHandle, sets up every
  // line (a line that fails is shown as failed, the others still run) and
  // hands the menu bar to slot 24 once, then starts the pollers. Throws DriverLoadError naming the
  // paths tried; the window then says the driver is not loaded. Throws
  // std::logic_error when called a second time.
  void Start();

  HostWindow& Window() { return *MainWindow; }
  // The driver, or null before a successful Start.
  TQX25* Driver() { return LoadedDriver.get(); }
  const DriverLibrary& Library() const { return LoadedLibrary; }
  serial::SerialDispatcher& Dispatcher() { return SerialPorts; }
  // The built-in simulator, or null when no line is simulated.
  sim::BuiltInSimulator* Simulator() { return Sim.get(); }
  // The simulated station of --station, or null.
  sim::SimulatedStation* SimulatedLines() { return SimStation.get(); }
  const serial::LineStatistics& Statistics() const { return Stats; }
  StatisticsModel& StatisticsRows() { return *StatisticsView; }
  const HostOptions& Options() const { return Settings; }
  // The pollers, or null before a successful Start.
  PollerSet* Pollers() { return PollerThreads.get(); }
  // The lines held for another device, or null before a successful Start.
  HeldLines* Held() { return Holds; }
  TraceModel& Trace() { return *TraceRows; }

  // Records every exchange of the lines into Path (see record/Recorder.h),
  // with a header naming this program, the driver and the lines; replaces a
  // recording already running. Throws record::RecordingError.
  void StartRecording(const std::string& Path);
  void StopRecording();
  // The recording being written, or null.
  std::shared_ptr<record::Recorder> Recording() const { return Recordings.Current(); }
  RecordMenu& RecordItem() { return *RecordEntry; }

 private:
  HostOptions Settings;
  std::unique_ptr<sim::BuiltInSimulator> Sim;
  std::unique_ptr<sim::SimulatedStation> SimStation;
  // Before the dispatcher, whose trace records into them until it goes.
  serial::LineStatistics Stats;
  record::RecordSwitch Recordings;
  serial::SerialDispatcher SerialPorts;
  DriverLibrary LoadedLibrary;
  DriverPtr LoadedDriver;
  std::shared_ptr<TraceBuffer> Traces;
  std::unique_ptr<TraceModel> TraceRows;
  std::unique_ptr<StatisticsModel> StatisticsView;
  std::unique_ptr<PriceMemory> Prices;  // outlives the window's panels that write it
  std::unique_ptr<HostWindow> MainWindow;
  std::unique_ptr<PollerSet> PollerThreads;
  HeldLines* Holds = nullptr;  // owned by the window
  RecordMenu* RecordEntry = nullptr;  // owned by the window
  bool Started = false;
};

}  // namespace qx25::station
