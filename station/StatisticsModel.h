// The console's line statistics: one row a port that has seen traffic, read
// from the dispatcher's LineStatistics. The snapshots are taken on a thread
// of the model's own and reach the model queued, because the statistics'
// lock is also taken by every exchange thread, and one of those that lost its
// processor while holding it must not hold up the window.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <vector>

#include "TroubleHistory.h"
#include "serial/LineStatistics.h"

class QThread;

namespace qx25::station {

// How often the view is brought up to date.
inline constexpr std::chrono::milliseconds kStatisticsRefresh{500};
// Upper edges of the reply-time bins the console draws, in milliseconds; one
// more bin holds the slower replies.
inline constexpr std::array<double, 8> kReplyTimeEdgesMs{5, 10, 20, 50, 100, 200, 500, 1000};

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
  explicit StatisticsModel(const serial::LineStatistics& Source, QObject* Parent = nullptr);
  // Stops the sampling thread and waits for it.
  ~StatisticsModel() override;

  // Takes a snapshot now, on the calling thread (tests).
  void Refresh();
  // Shows a snapshot (the sampler's, queued).
  void Show(const std::vector<qx25::serial::PortStatistics>& Ports);
  // The row of Port, or -1.
  int RowOf(int Port) const;
  // The port of Row, or 0.
  int PortAt(int Row) const;
  // The figures of Port as last shown; null when the port has none.
  const serial::PortStatistics* Figures(int Port) const;

  // The line whose reply times are sampled too (0: none). Its bins are empty
  // until the next sample.
  void Select(int Port);
  int Selected() const { return SelectedPort; }
  // The selected line's accepted replies in the bins of kReplyTimeEdgesMs.
  const std::vector<uint64_t>& ReplyTimes() const { return ReplyBins; }
  // Port's trouble over the last minutes, oldest slot first.
  std::vector<TroubleSlot> Trouble(int Port) const;

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;

 signals:
  // After every snapshot shown: the charts follow the rows.
  void Sampled();

 private:
  // What the sampler takes: every port's totals, and the selected one's bins.
  void Take(const serial::LineStatistics& Lines);
  void ShowReplyTimes(int Port, std::vector<uint64_t> Bins);

  const serial::LineStatistics& Source;
  std::vector<serial::PortStatistics> Rows;
  std::atomic<int> SelectedPort{0};
  std::vector<uint64_t> ReplyBins;
  TroubleHistory History;
  QElapsedTimer Clock;
  QThread* Sampling;
};

}  // namespace qx25::station
