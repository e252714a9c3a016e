// The console's line statistics: one row a port that has seen traffic, read
// from the dispatcher's LineStatistics on a timer of the window's thread.
// Taking a snapshot costs one short lock, so the window never waits for a
// line.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <chrono>
#include <vector>

#include "host/LineStatistics.h"

namespace qx25::hostapp {

// How often the view is brought up to date.
inline constexpr std::chrono::milliseconds kStatisticsRefresh{500};

class StatisticsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    PortColumn,
    ExchangesColumn,
    TimeoutsColumn,
    RejectedColumn,
    RefusalsColumn,
    LineErrorsColumn,
    MedianColumn,
    WorstColumn,
    ColumnCount
  };

  // Source must outlive the model.
  explicit StatisticsModel(const host::LineStatistics& Source, QObject* Parent = nullptr);

  // Takes a snapshot now (the timer calls it).
  void Refresh();
  // The row of Port, or -1.
  int RowOf(int Port) const;

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;

 private:
  const host::LineStatistics& Figures;
  std::vector<host::PortStatistics> Rows;
  QTimer Tick;
};

}  // namespace qx25::hostapp
