// The console's trace pane: every frame and reply on every line, newest last.
//
// The dispatcher delivers trace records on the exchange's own thread with the
// port's lock held, so the callback only copies the record into a buffer
// under a short lock of its own. The model, on the window's thread, takes the
// buffer's contents in one batch on a timer and keeps the newest kTraceRows
// rows; a cell's text is written only when it is asked for, since a busy
// station adds a thousand rows a second and the pane shows a few dozen.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "serial/SerialDispatcher.h"

namespace qx25::station {

// Rows the pane keeps (polling alone adds some 18 a second: this holds a
// quarter of an hour of a busy line), and records the buffer holds while the
// window does not take them; older ones are dropped (and counted).
inline constexpr int kTraceRows = 16000;
inline constexpr size_t kTraceBacklog = 40000;
// How often the window takes the buffer's records: four times a second is
// as often as an eye follows a scrolling trace, and each take costs a repaint.
inline constexpr std::chrono::milliseconds kTraceRefresh{250};

// A trace record that owns its bytes.
struct TraceEntry {
  serial::TraceDirection Direction;
  double Seconds;
  uint8_t Port;
  std::vector<uint8_t> Bytes;
  int32_t Result;
  int ReplyCode;
};

// Thread-safe: any number of exchange threads add, the window's thread takes.
// A request is held until its exchange ends: one that never went out (the
// line had no device, or another program held it) becomes a single request
// entry carrying the failure, so the trace never lists it as sent.
class TraceBuffer {
 public:
  // The callback to give the dispatcher (or the statistics' recorder). It
  // keeps the buffer alive.
  static serial::TraceCallback Callback(std::shared_ptr<TraceBuffer> Buffer);
  void Add(const serial::TraceRecord& Record);
  // Everything added since the last call, oldest first; nothing, without
  // waiting, while an exchange thread holds the buffer.
  std::deque<TraceEntry> Take();
  // Records dropped because the backlog was full.
  uint64_t Dropped() const;

 private:
  void Push(TraceEntry Entry);  // with Lock held

  mutable std::mutex Lock;
  std::deque<TraceEntry> Pending;
  std::array<std::optional<TraceEntry>, 256> Asked;  // each port's request in flight
  uint64_t Lost = 0;
};

class TraceModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    TimeColumn,
    PortColumn,
    DirectionColumn,
    RequestColumn,
    ResultColumn,
    BytesColumn,  // last: the widest, it takes the room left
    ColumnCount
  };
  // What the pane's filter asks of a row, on any column.
  enum DataRole {
    PortRole = Qt::UserRole,  // int
    RoutinePollRole,          // bool: the poller's repeated reads, and their replies
    TroubleRole,              // bool: a refusal (CAN) or a failed exchange
    SerialRole,               // qulonglong: the row's number since the start, never reused
  };

  // Takes Buffer's records every kTraceRefresh from now on.
  explicit TraceModel(std::shared_ptr<TraceBuffer> Buffer, QObject* Parent = nullptr);

  // Takes the buffer's records now (the timer calls it).
  void Refresh();
  uint64_t RowsAdded() const { return Added; }
  // The row numbered Serial, while it is held; else invalid.
  QModelIndex IndexOfSerial(quint64 Serial) const;

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;

 signals:
  // A batch is about to trim rows at the front and add rows at the end.
  void BatchStarting();
  // Rows were added at the end (after any trimming at the front).
  void RowsAppended();

 private:
  struct Row {
    TraceEntry Entry;
    QString Request;  // the request's name; a reply's row names what it answers
    bool Failed = false;
    bool Refused = false;
    bool NotSent = false;  // a request that never went out
    bool Poll = false;
    quint64 Serial = 0;
  };
  Row Take(TraceEntry Entry);
  static QString Cell(const Row& R, int Column);

  std::shared_ptr<TraceBuffer> Source;
  std::deque<Row> Rows;
  // The request last sent on each port, named on its reply's row.
  std::array<QString, 256> LastRequest;
  std::array<bool, 256> LastWasPoll{};
  QTimer Tick;
  uint64_t Added = 0;
};

}  // namespace qx25::station
