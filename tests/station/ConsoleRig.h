// What the console's tests share: a station started as main() starts it, the
// widgets of a nozzle's panel found by name, a line that answers nothing, and
// a probe of the window thread's event loop.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "NozzlePanel.h"
#include "Station.h"

namespace consoletest {

using namespace qx25::station;

// The options main() would get from these arguments, the driver searched
// for from the host program's folder.
HostOptions Parse(std::vector<std::string> Args);
std::unique_ptr<Station> Started(std::vector<std::string> Args);

// The widgets of one panel, by their object names.
struct PanelWidgets {
  explicit PanelWidgets(NozzlePanel& Panel);
  template <class T>
  T* Child(const char* Name) {
    T* found = Panel.findChild<T*>(QString::fromUtf8(Name));
    if (found == nullptr) throw std::runtime_error(std::string("no widget ") + Name);
    return found;
  }
  QString Text(const char* Label) { return Child<QLabel>(Label)->text(); }
  void Click(const char* Button);

  NozzlePanel& Panel;
};

// The slave side of a pseudo-terminal whose master nobody reads or answers:
// a line that is up and silent.
class SilentLine {
 public:
  SilentLine();
  ~SilentLine();
  SilentLine(const SilentLine&) = delete;
  SilentLine& operator=(const SilentLine&) = delete;
  const std::string& Path() const { return SlavePath; }

 private:
  int Master = -1;
  int Hold = -1;
  std::string SlavePath;
};

// Measures the longest pause between two turns of the window thread's event
// loop. Time that thread spent waiting for a processor (the machine busy with
// other work) is taken out, read from the kernel's scheduler figures for the
// thread, so that what is left is time the loop was blocked or busy itself.
class LoopProbe : public QObject {
 public:
  LoopProbe();
  double WorstGapMs() const { return Worst; }
  int Turns() const { return Count; }

 private:
  void Turn();
  QTimer Timer;
  QElapsedTimer Clock;
  qint64 LastWallNs = 0;
  qint64 LastWaitNs = 0;
  double Worst = 0;
  int Count = 0;
};

// CPU seconds the host's own threads have used: the window thread, the line
// pollers and the statistics sampler. The simulators that serve the lines in
// the same process are left out, as they would be on a real station.
struct HostCpu {
  double Window = 0;  // the window's thread
  double Lines = 0;   // the pollers and the statistics sampler
  HostCpu operator-(const HostCpu& Before) const {
    return {Window - Before.Window, Lines - Before.Lines};
  }
};
HostCpu HostCpuSeconds();

// Runs the window thread's event loop until Condition holds or TimeoutMs
// pass; returns Condition. Unlike QTest::qWait, which sleeps between turns,
// the loop turns as the application's own would, so a probe sees its gaps.
bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs);
// Runs the event loop for Ms.
void Spin(int Ms);

// Shows the station's window, doses Litres on Nozzle of the built-in
// simulator's line and starts it; true once the panel says fuel flows.
bool ShowAndStartDelivery(Station& S, int Nozzle, double Litres, int TimeoutMs);

// The button of an open question, by its caption; null when there is none.
QAbstractButton* Answer(QMessageBox* Box, const QString& Caption);
// The visible question of that object name under Owner, or null.
QMessageBox* OpenQuestion(QWidget& Owner, const char* Name);

// Writes the widget's picture to the build's screenshots folder.
void WriteScreenshot(QWidget& Widget, const QString& Name);

}  // namespace consoletest
