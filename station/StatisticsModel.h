// The console's line statistics: one row a port that has seen traffic, read
// from the dispatcher's LineStatistics. The snapshots are taken on a thread
// of the model's own and reach the model queued, because the statistics'
// lock is also taken by every exchange thread, and one of those that lost its
// processor while holding it must not hold up the window.
#pragma once

#include <QAbstractTableModel>
#include <chrono>
#include <vector>

#include "serial/LineStatistics.h"

class QThread;

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
    DeviceLossesColumn,
    MedianColumn,
    WorstColumn,
    ColumnCount
  };

  // Source must outlive the model. Snapshots arrive every kStatisticsRefresh.
  explicit StatisticsModel(const host::LineStatistics& Source, QObject* Parent = nullptr);
  // Stops the sampling thread and waits for it.
  ~StatisticsModel() override;

  // Takes a snapshot now, on the calling thread (tests).
  void Refresh();
  // Shows a snapshot (the sampler's, queued).
  void Show(const std::vector<qx25::host::PortStatistics>& Ports);
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
  QThread* Sampling;
};

}  // namespace qx25::hostapp
