#include "DeliveryChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "NozzlePanel.h"

namespace qx25::station {

namespace {

// Twice this many points are thinned to this many, every other one kept.
constexpr size_t kMostPoints = 512;
constexpr int kHeight = 64;
constexpr int kPadding = 4;
const QColor kCurve{0x20, 0x80, 0x20};
const QColor kFill{0x20, 0x80, 0x20, 0x30};

}  // namespace

DeliveryChart::DeliveryChart(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("DeliveryChart"));
  setMinimumHeight(kHeight);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize DeliveryChart::sizeHint() const { return {200, kHeight}; }

void DeliveryChart::Restart() {
  Samples.clear();
  update();
}

void DeliveryChart::Add(double Seconds, double Litres) {
  if (Samples.empty()) Start = Seconds;
  const QPointF point(std::max(0.0, Seconds - Start), Litres);
  // A poll that finds nothing new adds nothing.
  if (!Samples.empty() && Samples.back().y() == Litres && Samples.size() > 1 &&
      Samples[Samples.size() - 2].y() == Litres)
    Samples.back() = point;
  else
    Samples.push_back(point);
  if (Samples.size() >= 2 * kMostPoints) {
    std::vector<QPointF> kept;
    kept.reserve(kMostPoints + 1);
    for (size_t i = 0; i < Samples.size(); i += 2) kept.push_back(Samples[i]);
    if (kept.back() != Samples.back()) kept.push_back(Samples.back());
    Samples = std::move(kept);
  }
  update();
}

void DeliveryChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor(0xB0, 0xB0, 0xB0));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QFontMetrics fm = fontMetrics();
  if (Samples.empty()) {
    p.setPen(Qt::darkGray);
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("Налив: литры по времени"));
    return;
  }
  const double seconds = std::max(1.0, Samples.back().x());
  double litres = 1;
  for (const QPointF& s : Samples) litres = std::max(litres, s.y());
  const QString top = LitresText(litres);
  const QRectF plot = QRectF(rect()).adjusted(kPadding + fm.horizontalAdvance(top) + kPadding,
                                              kPadding, -kPadding, -kPadding - fm.height());
  const auto at = [&](const QPointF& s) {
    return QPointF(plot.left() + plot.width() * s.x() / seconds,
                   plot.bottom() - plot.height() * s.y() / litres);
  };
  QPainterPath curve(at(Samples.front()));
  for (const QPointF& s : Samples) curve.lineTo(at(s));
  QPainterPath area = curve;
  area.lineTo(at({Samples.back().x(), 0}));
  area.lineTo(at({Samples.front().x(), 0}));
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(area, kFill);
  p.setPen(QPen(kCurve, 2));
  p.drawPath(curve);
  p.setPen(Qt::black);
  p.drawText(QPointF(kPadding, plot.top() + fm.ascent()), top);
  p.drawText(QPointF(kPadding, plot.bottom()), QStringLiteral("0"));
  p.drawText(QRectF(plot.left(), plot.bottom(), plot.width(), fm.height()),
             Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("%1 с · %2")
                 .arg(QString::number(Samples.back().x(), 'f', 0), LitresText(Samples.back().y())));
}

}  // namespace qx25::station
