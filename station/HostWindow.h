// qx25-host's main window, the forecourt console: the menu bar the driver
// adds its entries to, a panel per nozzle, and under them the protocol trace,
// the line statistics and the list of configured lines; a status line names
// the lines and the driver.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <vector>

#include "HostOptions.h"
#include "LineListModel.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QGridLayout;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableView;

namespace qx25::station {

class ChosenNozzle;
class NozzlePanel;
class OverviewPane;
class QuitQuestion;
class StatisticsModel;
class StatisticsPage;
class TraceFilter;
class TraceModel;

// Top-level entries are found by their exact text, ampersand included: the
// driver looks for "&ТРК".
inline constexpr char kFileMenuText[] = "&Файл";
inline constexpr char kExitText[] = "В&ыход";
inline constexpr char kDispenserMenuText[] = "&ТРК";
inline constexpr char kLineMenuText[] = "&Линия";
inline constexpr char kCompareItemText[] = "Сравнить с файлом…";

class HostWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit HostWindow(QWidget* Parent = nullptr);
  ~HostWindow() override;

  // Lists the lines and names them in the status line.
  void SetLines(std::vector<LineRow> Lines);
  void SetSetupResult(int Port, int32_t Result, const QString& Reason = {});
  // The right-hand part of the status line: which driver runs, or why none;
  // the tool tip gives the library's path.
  void SetDriverText(const QString& Text, const QString& ToolTip);

  // One panel a nozzle, in the order given, replacing any panels shown. Past
  // two rows of them the forecourt overview takes their place, with the
  // chosen nozzle's panel beside it.
  void SetNozzles(const std::vector<NozzleConfig>& Nozzles);
  // The overview, or null while the rows of panels are shown.
  OverviewPane* Overview() const;
  StatisticsPage& StatisticsTab() const { return *StatisticsPane; }
  const std::vector<NozzlePanel*>& Panels() const { return NozzlePanels; }
  NozzlePanel* Panel(int Port, int Nozzle) const;
  // The trace pane follows the model's newest rows while it is scrolled to
  // the end. The window does not own the models.
  void SetTraceModel(TraceModel* Rows);
  void SetStatisticsModel(StatisticsModel* Figures);

  LineListModel& LineModel() { return *Model; }
  // The trace pane shows the trace model through this filter.
  QTableView& TraceView() const { return *Trace; }
  TraceFilter& TraceShown() const { return *Filter; }
  // Saves the rows the pane shows to Path; says in the status line how it went.
  bool SaveTraceTo(const QString& Path);
  QTableView& StatisticsView() const { return *Statistics; }
  QAction* FileEntry() const { return FileMenu; }
  QAction* DispenserEntry() const { return DispenserMenu; }
  QAction* ExitAction() const { return Exit; }
  // "Линия" -> "Сравнить с файлом…": enabled once the lines are polled.
  QAction* CompareAction() const { return Compare; }
  QMenu* LineMenu() const { return LineEntries; }
  // "Линия" -> "Снять все отметки «!»": every tile's marks at once.
  QAction* ClearMarksAction() const { return ClearMarks; }
  QString LinesText() const;
  QString DriverText() const;
  // The owner the console gives the driver (AppHandle) for its service
  // window: a window of its own, never shown, that stands where the console
  // stands. The service window is modal to it alone, so every panel of the
  // forecourt stays in command while a technician works.
  QWidget& ServiceOwner() const { return *Owner; }
  // The nozzle the stop key stops.
  ChosenNozzle& Chosen() const { return *Chooser; }

 protected:
  // Closing with a delivery or an authorisation open asks first, without
  // blocking the panels: a quit leaves the dispensers running on their own.
  void closeEvent(QCloseEvent* Event) override;

 private:
  void UpdateLinesText();
  // Tab visits the panels first, in their order, then the rest of the window.
  void OrderTabStops(bool WithOverview);
  void FitColumns();
  // Scrolls the trace to its newest rows, or keeps its top row, as it was left.
  void FollowTraceRows();
  // Fits the statistics' columns to their figures when shown; Always, even
  // when no column's longest text changed.
  void FitStatistics(bool Always);

  QWidget* MakeConsole();
  QWidget* MakeTracePage(QWidget* Parent);
  void AskWhereToSaveTrace();

  LineListModel* Model;
  ChosenNozzle* Chooser = nullptr;
  QTableView* LineView;
  QTableView* Trace;
  TraceFilter* Filter;
  TraceModel* TraceRows = nullptr;
  QComboBox* TracePort;
  // While scrolled up, the row at the top stays there as rows come and go.
  bool FollowTrace = true;
  quint64 TraceAnchor = 0;
  // Rows came while hidden: it scrolls when next shown.
  bool TraceBehind = false;
  QTableView* Statistics;
  std::vector<qsizetype> StatisticsWidths;  // each column's longest text when last fitted
  StatisticsPage* StatisticsPane;
  QTabWidget* Tabs;
  QSplitter* Split;
  QWidget* PanelArea;
  OverviewPane* ForecourtPane;
  QWidget* PanelHolder;
  QGridLayout* PanelGrid;
  QLabel* NoNozzlesLabel;  // in place of the panels while there are none
  std::vector<NozzlePanel*> NozzlePanels;
  QLabel* LinesLabel;
  QLabel* DriverLabel;
  QAction* FileMenu;
  QAction* DispenserMenu;
  QAction* Exit;
  QAction* Compare;
  QMenu* LineEntries;
  QAction* ClearMarks;
  std::unique_ptr<QWidget> Owner;
  QuitQuestion* Quitting;
};

}  // namespace qx25::station
