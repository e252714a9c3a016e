#include "LineListModel.h"

#include <QBrush>
#include <QColor>

#include "serial/SerialDispatcher.h"

namespace qx25::station {

namespace {

const QColor kFailedLine{0xB0, 0x00, 0x00};

}  // namespace

QString PortName(int Port) { return QStringLiteral("COM%1").arg(Port); }

QString SetupText(std::optional<int32_t> Result) {
  if (!Result) return QStringLiteral("не проверена");
  if (*Result == serial::kSerialOk) return QStringLiteral("готова");
  return SerialErrorWords(*Result);
}

QString SerialErrorWords(int32_t Error) {
  switch (Error) {
    case serial::kSerialOk:
      return QStringLiteral("без ошибки");
    case serial::kSerialNoDevice:
    case serial::kSerialDeviceLost:
      return QStringLiteral("нет устройства");
    case serial::kSerialInUse:
      return QStringLiteral("занята другой программой");
    case serial::kSerialNoAccess:
      return QStringLiteral("нет доступа к устройству");
    case serial::kSerialOtherDevice:
      return QStringLiteral("другое устройство");
    case serial::kSerialLineError:
      return QStringLiteral("ошибка линии");
    case serial::kSerialTimeout:
      return QStringLiteral("нет ответа");
    case serial::kSerialRejected:
      return QStringLiteral("ответ не принят");
    case serial::kSerialBadSettings:
      return QStringLiteral("настройки не приняты");
    default:
      return QStringLiteral("ошибка (код %1)").arg(Error);
  }
}

LineListModel::LineListModel(QObject* Parent) : QAbstractTableModel(Parent) {}

void LineListModel::SetLines(std::vector<LineRow> Lines) {
  beginResetModel();
  Rows = std::move(Lines);
  endResetModel();
}

void LineListModel::SetSetupResult(int Port, int32_t Result, const QString& Reason) {
  for (size_t row = 0; row < Rows.size(); ++row) {
    if (Rows[row].Line.Port != Port) continue;
    Rows[row].Setup = Result;
    Rows[row].Reason = Result == serial::kSerialOk ? QString() : Reason;
    const QModelIndex cell = index(static_cast<int>(row), StateColumn);
    emit dataChanged(cell, cell);
  }
}

void LineListModel::ShowPortStatus(int Port, int Status) {
  std::optional<int32_t> device;
  if (Status == serial::kLineNoDevice) device = serial::kSerialNoDevice;
  if (Status == serial::kLineInUse) device = serial::kSerialInUse;
  if (Status == serial::kLineNoAccess) device = serial::kSerialNoAccess;
  for (const LineRow& row : Rows) {
    if (row.Line.Port != Port || row.Setup == device) continue;
    const bool wasAway = row.Setup == serial::kSerialNoDevice ||
                         row.Setup == serial::kSerialInUse || row.Setup == serial::kSerialNoAccess ||
                         row.Setup == serial::kSerialOtherDevice;
    if (device)
      SetSetupResult(Port, *device);
    else if (wasAway && Status != serial::kLineIdle)
      SetSetupResult(Port, serial::kSerialOk);
    return;
  }
}

int LineListModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int LineListModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant LineListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= static_cast<int>(Rows.size())) return {};
  const LineRow& row = Rows[static_cast<size_t>(Index.row())];
  if (Role == Qt::ForegroundRole && Index.column() == StateColumn && row.Setup &&
      *row.Setup != serial::kSerialOk)
    return QBrush(kFailedLine);
  if (Role == Qt::ToolTipRole && Index.column() == StateColumn && !row.Reason.isEmpty())
    return SetupText(row.Setup) + QStringLiteral(": ") + row.Reason;
  if (Role != Qt::DisplayRole) return {};
  switch (Index.column()) {
    case PortColumn:
      return PortName(row.Line.Port);
    case DeviceColumn:
      return QString::fromStdString(row.Device);
    case KindColumn:
      return row.Line.Simulated ? QStringLiteral("симулятор")
                                : QStringLiteral("последовательный порт");
    case StateColumn:
      return SetupText(row.Setup);
    default:
      return {};
  }
}

QVariant LineListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return {};
  switch (Section) {
    case PortColumn:
      return QStringLiteral("Порт");
    case DeviceColumn:
      return QStringLiteral("Устройство");
    case KindColumn:
      return QStringLiteral("Линия");
    case StateColumn:
      return QStringLiteral("Состояние");
    default:
      return {};
  }
}

}  // namespace qx25::station
