#include "StatisticsModel.h"

#include <QBrush>
#include <QColor>
#include <QThread>
#include <QTimer>

#include "LineListModel.h"

namespace qx25::station {

namespace {

const QColor kTroubled{0xB0, 0x00, 0x00};
constexpr int kMsDecimals = 1;

}  // namespace

StatisticsModel::StatisticsModel(const serial::LineStatistics& Lines, QObject* Parent)
    : QAbstractTableModel(Parent),
      Source(Lines),
      ReplyBins(kReplyTimeEdgesMs.size() + 1, 0),
      Sampling(new QThread(this)) {
  Clock.start();
  Sampling->setObjectName(QStringLiteral("Statistics"));
  // The timer lives on the sampling thread; its snapshots come back queued.
  auto* tick = new QTimer;
  tick->setInterval(kStatisticsRefresh);
  tick->moveToThread(Sampling);
  connect(Sampling, &QThread::started, tick, qOverload<>(&QTimer::start));
  connect(Sampling, &QThread::finished, tick, &QObject::deleteLater);
  connect(
      tick, &QTimer::timeout, this, [this] { Take(Source); }, Qt::DirectConnection);
  Sampling->start();
}

StatisticsModel::~StatisticsModel() {
  Sampling->quit();
  Sampling->wait();
}

void StatisticsModel::Take(const serial::LineStatistics& Lines) {
  // On the sampling thread: the window receives the copies.
  const int port = SelectedPort;
  std::vector<serial::PortStatistics> ports = Lines.Snapshot();
  std::vector<uint64_t> bins;
  if (port > 0) bins = Lines.ReplyTimeCounts(static_cast<uint8_t>(port), kReplyTimeEdgesMs);
  QMetaObject::invokeMethod(
      this,
      [this, port, ports = std::move(ports), bins = std::move(bins)] {
        ShowReplyTimes(port, bins);
        Show(ports);
      },
      Qt::QueuedConnection);
}

void StatisticsModel::Refresh() {
  const int port = SelectedPort;
  if (port > 0)
    ShowReplyTimes(port, Source.ReplyTimeCounts(static_cast<uint8_t>(port), kReplyTimeEdgesMs));
  Show(Source.Snapshot());
}

void StatisticsModel::Show(const std::vector<serial::PortStatistics>& Ports) {
  History.Add(Ports, static_cast<double>(Clock.elapsed()) / 1e3);
  std::vector<serial::PortStatistics> fresh = Ports;
  // A port joined (or a reset forgot them all): the rows move. Otherwise
  // only the figures change.
  if (fresh.size() != Rows.size()) {
    beginResetModel();
    Rows = std::move(fresh);
    endResetModel();
  } else {
    Rows = std::move(fresh);
    if (!Rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
  }
  emit Sampled();
}

void StatisticsModel::ShowReplyTimes(int Port, std::vector<uint64_t> Bins) {
  // A sample taken for the line selected before is not this line's.
  if (Port != SelectedPort || Bins.size() != kReplyTimeEdgesMs.size() + 1) return;
  ReplyBins = std::move(Bins);
}

void StatisticsModel::Select(int Port) {
  if (Port == SelectedPort) return;
  SelectedPort = Port;
  ReplyBins.assign(kReplyTimeEdgesMs.size() + 1, 0);
  emit Sampled();
}

std::vector<TroubleSlot> StatisticsModel::Trouble(int Port) const {
  return History.Slots(Port, static_cast<double>(Clock.elapsed()) / 1e3);
}

int StatisticsModel::RowOf(int Port) const {
  for (size_t row = 0; row < Rows.size(); ++row)
    if (Rows[row].Port == Port) return static_cast<int>(row);
  return -1;
}

int StatisticsModel::PortAt(int Row) const {
  return Row >= 0 && Row < static_cast<int>(Rows.size()) ? Rows[static_cast<size_t>(Row)].Port : 0;
}

const serial::PortStatistics* StatisticsModel::Figures(int Port) const {
  const int row = RowOf(Port);
  return row < 0 ? nullptr : &Rows[static_cast<size_t>(row)];
}

int StatisticsModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int StatisticsModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant StatisticsModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= static_cast<int>(Rows.size())) return {};
  const serial::PortStatistics& p = Rows[static_cast<size_t>(Index.row())];
  const bool troubled = p.Timeouts + p.Rejected + p.LineErrors > 0;
  if (Role == Qt::ForegroundRole && troubled) return QBrush(kTroubled);
  if (Role == Qt::TextAlignmentRole && Index.column() != PortColumn)
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  if (Role != Qt::DisplayRole) return {};
  switch (Index.column()) {
    case PortColumn:
      return PortName(p.Port);
    case ExchangesColumn:
      return QString::number(p.Exchanges);
    case TimeoutsColumn:
      return QString::number(p.Timeouts);
    case RejectedColumn:
      return QString::number(p.Rejected);
    case RefusalsColumn:
      return QString::number(p.Refusals);
    case LineErrorsColumn:
      return QString::number(p.LineErrors);
    case DeviceLossesColumn:
      return QString::number(p.DeviceLosses);
    case MedianColumn:
      return QString::number(p.MedianReplyMs, 'f', kMsDecimals);
    case WorstColumn:
      return QString::number(p.WorstReplyMs, 'f', kMsDecimals);
    default:
      return {};
  }
}

QVariant StatisticsModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return {};
  switch (Section) {
    case PortColumn:
      return QStringLiteral("Порт");
    case ExchangesColumn:
      return QStringLiteral("Обменов");
    case TimeoutsColumn:
      return QStringLiteral("Нет ответа");
    case RejectedColumn:
      return QStringLiteral("Ответ не принят");
    case RefusalsColumn:
      return QStringLiteral("Отказов");
    case LineErrorsColumn:
      return QStringLiteral("Ошибок линии");
    case DeviceLossesColumn:
      return QStringLiteral("Потерь устройства");
    case MedianColumn:
      return QStringLiteral("Медиана ответа, мс");
    case WorstColumn:
      return QStringLiteral("Худший ответ, мс");
    default:
      return {};
  }
}

}  // namespace qx25::station
