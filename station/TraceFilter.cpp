#include "TraceFilter.h"

#include <QSaveFile>

#include "TraceModel.h"

namespace qx25::station {

void TraceFilter::SetHidePolls(bool Hide) {
  HidePolls = Hide;
  invalidateRowsFilter();
}

void TraceFilter::SetPort(int Value) {
  Port = Value;
  invalidateRowsFilter();
}

void TraceFilter::SetTroubleOnly(bool Only) {
  TroubleOnly = Only;
  invalidateRowsFilter();
}

bool TraceFilter::filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const {
  const QModelIndex row = sourceModel()->index(SourceRow, 0, SourceParent);
  if (HidePolls && row.data(TraceModel::RoutinePollRole).toBool()) return false;
  if (Port != 0 && row.data(TraceModel::PortRole).toInt() != Port) return false;
  return !TroubleOnly || row.data(TraceModel::TroubleRole).toBool();
}

QString SaveTrace(const QAbstractItemModel& Shown, const QString& Path) {
  QSaveFile file(Path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return file.errorString();
  const int columns = Shown.columnCount();
  QStringList cells;
  for (int c = 0; c < columns; ++c) cells << Shown.headerData(c, Qt::Horizontal).toString();
  file.write(cells.join(QLatin1Char('\t')).toUtf8() + '\n');
  for (int r = 0; r < Shown.rowCount(); ++r) {
    cells.clear();
    for (int c = 0; c < columns; ++c) cells << Shown.index(r, c).data().toString();
    file.write(cells.join(QLatin1Char('\t')).toUtf8() + '\n');
  }
  if (!file.commit()) return file.errorString();
  return {};
}

}  // namespace qx25::station
