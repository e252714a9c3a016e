// The selected line's health as pictures, beside the statistics table: how
// its reply times are spread, and when its time-outs, rejected replies and
// refusals came over the last minutes. Drawn by hand: two bar charts need no
// chart library.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "TroubleHistory.h"

namespace qx25::station {

class ReplyTimeChart : public QWidget {
  Q_OBJECT

 public:
  explicit ReplyTimeChart(QWidget* Parent = nullptr);
  // Port's replies in the bins of kReplyTimeEdgesMs (0: no line chosen).
  void SetBins(int Port, std::vector<uint64_t> Counts);
  const std::vector<uint64_t>& Bins() const { return Counts; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  int Port = 0;
  std::vector<uint64_t> Counts;
};

class TroubleChart : public QWidget {
  Q_OBJECT

 public:
  explicit TroubleChart(QWidget* Parent = nullptr);
  // Port's slots, oldest first, kTroubleSlotSeconds each, the last one now.
  void SetSlots(int Port, std::vector<TroubleSlot> Slots);
  // What the drawn slots add up to.
  TroubleSlot Totals() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  int Port = 0;
  std::vector<TroubleSlot> Slots;
};

}  // namespace qx25::station
