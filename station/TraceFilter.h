// What the trace pane shows of the trace: all of it, or without the poller's
// routine reads, one port's rows, or refusals and failures alone; and the
// rows shown, saved as text.
#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace qx25::station {

class TraceFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void SetHidePolls(bool Hide);
  void SetPort(int Port);  // 0: every port
  void SetTroubleOnly(bool Only);

 protected:
  bool filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const override;

 private:
  bool HidePolls = false;
  int Port = 0;
  bool TroubleOnly = false;
};

// Writes the rows of Shown, a column a tab with a heading line, to Path as
// UTF-8, replacing the file only once all of it is written. Returns the
// reason in words when it could not; empty on success.
QString SaveTrace(const QAbstractItemModel& Shown, const QString& Path);

}  // namespace qx25::station
