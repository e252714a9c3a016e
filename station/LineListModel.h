// The configured lines as the main window lists them: one row a line, in
// port order, with its device, whether it is the simulator, and whether the
// driver could set it up.
#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <vector>

#include "HostOptions.h"

namespace qx25::station {

struct LineRow {
  LineConfig Line;
  std::string Device;            // the path the dispatcher opens
  std::optional<int32_t> Setup;  // SetupPort's result; none before the driver tried
  QString Reason;                // the system's words for a failed setup, if it gave any
};

class LineListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { PortColumn, DeviceColumn, KindColumn, StateColumn, ColumnCount };

  explicit LineListModel(QObject* Parent = nullptr);

  void SetLines(std::vector<LineRow> Lines);
  // Reason, the system's words for a failure, is the state cell's tool tip.
  void SetSetupResult(int Port, int32_t Result, const QString& Reason = {});
  // Follows the device from a poll's port status: "нет устройства" while an
  // adapter is unplugged, the holder's "занята" while another program has
  // it, "нет доступа" while this user may not open it, "готова" again once
  // the line answers. Other failures (no answer from one controller) say
  // nothing of the device and leave the state.
  void ShowPortStatus(int Port, int Status);
  const std::vector<LineRow>& Lines() const { return Rows; }

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;

 private:
  std::vector<LineRow> Rows;
};

// "COM3".
QString PortName(int Port);
// What SetupPort's result means for a line, in the window's words.
QString SetupText(std::optional<int32_t> Result);
// A failure class of the dispatcher (Transact, SetLineParams) in words.
QString SerialErrorWords(int32_t Error);

}  // namespace qx25::station
