// qx25-host's main window: the menu bar the driver adds its entries to, the
// list of configured lines, and a status line naming them.
#pragma once

#include <QMainWindow>
#include <QString>
#include <vector>

#include "LineListModel.h"

class QAction;
class QLabel;
class QTableView;

namespace qx25::hostapp {

// Top-level entries are found by their exact text, ampersand included: the
// driver looks for "&ТРК".
inline constexpr char kFileMenuText[] = "&Файл";
inline constexpr char kExitText[] = "В&ыход";
inline constexpr char kDispenserMenuText[] = "&ТРК";

class HostWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit HostWindow(QWidget* Parent = nullptr);

  // Lists the lines and names them in the status line.
  void SetLines(std::vector<LineRow> Lines);
  void SetSetupResult(int Port, int32_t Result);
  // The right-hand part of the status line: which driver runs, or why none;
  // the tool tip gives the library's path.
  void SetDriverText(const QString& Text, const QString& ToolTip);

  LineListModel& LineModel() { return *Model; }
  QAction* FileEntry() const { return FileMenu; }
  QAction* DispenserEntry() const { return DispenserMenu; }
  QAction* ExitAction() const { return Exit; }
  QString LinesText() const;
  QString DriverText() const;

 private:
  void UpdateLinesText();
  void FitColumns();

  LineListModel* Model;
  QTableView* LineView;
  QLabel* LinesLabel;
  QLabel* DriverLabel;
  QAction* FileMenu;
  QAction* DispenserMenu;
  QAction* Exit;
};

}  // namespace qx25::hostapp
