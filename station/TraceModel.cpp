#include "TraceModel.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

#include "ConsoleWords.h"
#include "LineListModel.h"
#include "driver/HostContract.h"

namespace qx25::station {

namespace {

const QColor kFailedReply{0xB0, 0x00, 0x00};
const QColor kRefusedReply{0xC0, 0x60, 0x00};  // as a panel shows a refusal

// "02 31 03": written digit by digit, since every frame on every line passes here.
QString Hex(const std::vector<uint8_t>& Bytes) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  QString text;
  text.reserve(static_cast<qsizetype>(Bytes.size() * 3));
  for (const uint8_t b : Bytes) {
    if (!text.isEmpty()) text += QLatin1Char(' ');
    text += QLatin1Char(kDigits[b >> 4]);
    text += QLatin1Char(kDigits[b & 0x0F]);
  }
  return text;
}

// Failures of opening the line: the exchange ended before anything was sent.
bool NeverSent(int32_t Result) {
  return Result == serial::kSerialNoDevice || Result == serial::kSerialInUse ||
         Result == serial::kSerialNoAccess || Result == serial::kSerialOtherDevice ||
         Result == serial::kSerialBadSettings;
}

}  // namespace

serial::TraceCallback TraceBuffer::Callback(std::shared_ptr<TraceBuffer> Buffer) {
  return [Buffer](const serial::TraceRecord& Record) { Buffer->Add(Record); };
}

void TraceBuffer::Add(const serial::TraceRecord& Record) {
  TraceEntry entry{Record.Direction, Record.Seconds,
                   Record.Port,      std::vector<uint8_t>(Record.Bytes.begin(), Record.Bytes.end()),
                   Record.Result,    Record.ReplyCode};
  const std::lock_guard<std::mutex> hold(Lock);
  std::optional<TraceEntry>& asked = Asked[Record.Port];
  // A send-only frame that went out well has no reply record: the port's
  // next request says it is over.
  if (asked) Push(*std::exchange(asked, std::nullopt));
  if (entry.Direction == serial::TraceDirection::Request) {
    asked = std::move(entry);
    return;
  }
  if (NeverSent(entry.Result) && entry.Bytes.empty()) {
    // Named by the request it would have sent.
    if (Pending.empty() || Pending.back().Port != entry.Port ||
        Pending.back().Direction != serial::TraceDirection::Request)
      return Push(std::move(entry));
    Pending.back().Result = entry.Result;
    return;
  }
  Push(std::move(entry));
}

void TraceBuffer::Push(TraceEntry Entry) {
  if (Pending.size() >= kTraceBacklog) {
    // The window has not taken its records for a long while: keep the newest.
    Pending.pop_front();
    ++Lost;
  }
  Pending.push_back(std::move(Entry));
}

std::deque<TraceEntry> TraceBuffer::Take() {
  std::deque<TraceEntry> taken;
  // An exchange thread holding the lock may have lost its processor; the
  // window does not wait for it, it takes the records on its next turn.
  const std::unique_lock<std::mutex> hold(Lock, std::try_to_lock);
  if (hold.owns_lock()) taken.swap(Pending);
  return taken;
}

uint64_t TraceBuffer::Dropped() const {
  const std::lock_guard<std::mutex> hold(Lock);
  return Lost;
}

TraceModel::TraceModel(std::shared_ptr<TraceBuffer> Buffer, QObject* Parent)
    : QAbstractTableModel(Parent), Source(std::move(Buffer)) {
  connect(&Tick, &QTimer::timeout, this, &TraceModel::Refresh);
  Tick.start(kTraceRefresh);
}

TraceModel::Row TraceModel::Take(TraceEntry Entry) {
  Row row;
  const bool request = Entry.Direction == serial::TraceDirection::Request;
  if (request) {
    LastRequest[Entry.Port] = RequestText(Entry.Bytes);
    LastWasPoll[Entry.Port] = IsRoutinePoll(Entry.Bytes);
  }
  row.Request = LastRequest[Entry.Port];
  row.Poll = LastWasPoll[Entry.Port];
  row.Serial = Added++;
  row.NotSent = request && Entry.Result != serial::kSerialOk;
  row.Failed = Entry.Result != serial::kSerialOk;
  row.Refused = !request && !row.Failed && !Entry.Bytes.empty() && Entry.Bytes[0] == kCan;
  row.Entry = std::move(Entry);
  return row;
}

QString TraceModel::Cell(const Row& R, int Column) {
  const TraceEntry& e = R.Entry;
  const bool request = e.Direction == serial::TraceDirection::Request;
  switch (Column) {
    case TimeColumn:
      return QString::number(e.Seconds, 'f', 3);
    case PortColumn:
      return PortName(e.Port);
    case DirectionColumn:
      return request ? QStringLiteral("→") : QStringLiteral("←");
    case RequestColumn:
      return request ? R.Request : QStringLiteral("ответ: ") + R.Request;
    case BytesColumn:
      return R.NotSent ? QString() : Hex(e.Bytes);
    case ResultColumn:
      if (!R.Failed) return {};
      if (R.NotSent) return QStringLiteral("не отправлен: ") + SerialErrorWords(e.Result);
      if (e.Result == serial::kSerialRejected && e.ReplyCode >= 0)
        return SerialErrorWords(e.Result) + QStringLiteral(", код %1").arg(e.ReplyCode);
      return SerialErrorWords(e.Result);
    default:
      return {};
  }
}

void TraceModel::Refresh() {
  std::deque<TraceEntry> batch = Source->Take();
  if (batch.empty()) return;
  // Only the newest rows survive; format no more than those (but let every
  // request name its reply).
  const size_t keep = std::min(batch.size(), static_cast<size_t>(kTraceRows));
  const size_t skip = batch.size() - keep;
  for (size_t i = 0; i < skip; ++i)
    if (batch[i].Direction == serial::TraceDirection::Request) {
      LastRequest[batch[i].Port] = RequestText(batch[i].Bytes);
      LastWasPoll[batch[i].Port] = IsRoutinePoll(batch[i].Bytes);
    }
  emit BatchStarting();

  // keep is at most kTraceRows, so the overflow is at most the rows held.
  const size_t total = Rows.size() + keep;
  const auto overflow = static_cast<int>(total > kTraceRows ? total - kTraceRows : 0);
  if (overflow > 0) {
    beginRemoveRows({}, 0, overflow - 1);
    Rows.erase(Rows.begin(), Rows.begin() + overflow);
    endRemoveRows();
  }
  const int first = static_cast<int>(Rows.size());
  beginInsertRows({}, first, first + static_cast<int>(keep) - 1);
  for (size_t i = skip; i < batch.size(); ++i) Rows.push_back(Take(std::move(batch[i])));
  endInsertRows();
  emit RowsAppended();
}

QModelIndex TraceModel::IndexOfSerial(quint64 Serial) const {
  if (Rows.empty() || Serial < Rows.front().Serial) return {};
  const quint64 row = Serial - Rows.front().Serial;
  return row < Rows.size() ? index(static_cast<int>(row), 0) : QModelIndex();
}

int TraceModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TraceModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TraceModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= static_cast<int>(Rows.size()) ||
      Index.column() >= ColumnCount)
    return {};
  const Row& row = Rows[static_cast<size_t>(Index.row())];
  switch (Role) {
    case PortRole:
      return row.Entry.Port;
    case RoutinePollRole:
      return row.Poll;
    case TroubleRole:
      return row.Failed || row.Refused;
    case SerialRole:
      return row.Serial;
    default:
      break;
  }
  if (Role == Qt::ForegroundRole && row.Failed) return QBrush(kFailedReply);
  if (Role == Qt::ForegroundRole && row.Refused) return QBrush(kRefusedReply);
  if (Role != Qt::DisplayRole) return {};
  return Cell(row, Index.column());
}

QVariant TraceModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return {};
  switch (Section) {
    case TimeColumn:
      return QStringLiteral("Время, с");
    case PortColumn:
      return QStringLiteral("Порт");
    case DirectionColumn:
      return QStringLiteral("Напр.");
    case RequestColumn:
      return QStringLiteral("Запрос");
    case BytesColumn:
      return QStringLiteral("Байты");
    case ResultColumn:
      return QStringLiteral("Итог");
    default:
      return {};
  }
}

}  // namespace qx25::station
