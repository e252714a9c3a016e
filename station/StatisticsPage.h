// The statistics tab: the table of every line's figures, and beside it the
// pictures of the line selected in it. The first line is selected until the
// operator picks another.
#pragma once

#include <QWidget>

class QTableView;

namespace qx25::station {

class ReplyTimeChart;
class StatisticsModel;
class TroubleChart;

class StatisticsPage : public QWidget {
  Q_OBJECT

 public:
  // Table is the tab's table view, made on the heap: the page takes it into
  // its layout and owns it.
  StatisticsPage(QTableView& Table, QWidget* Parent = nullptr);
  // The model must outlive the page.
  void SetModel(StatisticsModel* Figures);
  // Selects Port's row, as a click on it would.
  void SelectPort(int Port);
  ReplyTimeChart& ReplyTimes() const { return *Replies; }
  TroubleChart& Trouble() const { return *Faults; }

 private:
  void FollowSelection();
  void UpdateCharts();

  QTableView& Table;
  StatisticsModel* Model = nullptr;
  ReplyTimeChart* Replies;
  TroubleChart* Faults;
};

}  // namespace qx25::station
