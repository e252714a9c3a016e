// Litres over time of a nozzle's delivery, drawn in its panel while the fuel
// flows; the last delivery's curve stays until the next one starts.
#pragma once

#include <QPointF>
#include <QWidget>
#include <vector>

namespace qx25::station {

class DeliveryChart : public QWidget {
  Q_OBJECT

 public:
  explicit DeliveryChart(QWidget* Parent = nullptr);

  // A new delivery: the curve starts again.
  void Restart();
  // Litres delivered at Seconds (any steady clock). A long delivery keeps
  // its whole shape in a bounded number of points.
  void Add(double Seconds, double Litres);
  // (seconds since the first point, litres), oldest first.
  const std::vector<QPointF>& Points() const { return Samples; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  std::vector<QPointF> Samples;
  double Start = 0;
};

}  // namespace qx25::station
