#include "LineCharts.h"

#include <QPainter>
#include <algorithm>

#include "LineListModel.h"
#include "StatisticsModel.h"

namespace qx25::station {

namespace {

constexpr int kPadding = 6;
constexpr int kBarGap = 2;
const QSize kChartSize{460, 120};
const QColor kReplies{0x30, 0x70, 0xC0};
const QColor kTimeouts{0xC0, 0x10, 0x10};
const QColor kRejected{0x80, 0x30, 0xA0};
const QColor kRefusals{0xE0, 0x80, 0x00};
const QColor kAxis{0x80, 0x80, 0x80};

// The plot's frame: the title above, a row of labels under it.
QRectF PlotArea(const QWidget& W) {
  const int line = W.fontMetrics().height();
  return QRectF(W.rect()).adjusted(kPadding, kPadding + line + 2, -kPadding, -kPadding - line);
}

void DrawFrame(QPainter& P, const QWidget& W, const QRectF& Plot) {
  P.fillRect(W.rect(), Qt::white);
  P.setPen(kAxis);
  P.drawLine(Plot.bottomLeft(), Plot.bottomRight());
}

// The top of the scale: an empty chart still divides by something.
uint64_t Highest(uint64_t Most) { return std::max<uint64_t>(1, Most); }

}  // namespace

ReplyTimeChart::ReplyTimeChart(QWidget* Parent)
    : QWidget(Parent), Counts(kReplyTimeEdgesMs.size() + 1, 0) {
  setObjectName(QStringLiteral("ReplyTimeChart"));
}

QSize ReplyTimeChart::sizeHint() const { return kChartSize; }

void ReplyTimeChart::SetBins(int NewPort, std::vector<uint64_t> NewCounts) {
  if (NewPort == Port && NewCounts == Counts) return;
  Port = NewPort;
  Counts = std::move(NewCounts);
  update();
}

void ReplyTimeChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF plot = PlotArea(*this);
  DrawFrame(p, *this, plot);
  const QFontMetrics fm = fontMetrics();
  uint64_t total = 0, most = 0;
  for (const uint64_t c : Counts) {
    total += c;
    most = std::max(most, c);
  }
  p.setPen(Qt::black);
  p.drawText(
      QPointF(kPadding, kPadding + fm.ascent()),
      Port == 0
          ? QStringLiteral("Время ответа: выберите линию в таблице")
          : QStringLiteral("%1: время ответа, мс — ответов %2").arg(PortName(Port)).arg(total));
  if (Counts.empty()) return;
  const double width = plot.width() / static_cast<double>(Counts.size());
  for (size_t i = 0; i < Counts.size(); ++i) {
    const double x = plot.left() + width * static_cast<double>(i);
    const double h = (plot.height() - fm.height()) * static_cast<double>(Counts[i]) /
                     static_cast<double>(Highest(most));
    const QRectF bar(x + kBarGap, plot.bottom() - h, width - 2 * kBarGap, h);
    p.fillRect(bar, kReplies);
    // Every bar says its count: a few slow replies beside thousands of quick
    // ones would otherwise be a line too thin to see.
    if (Counts[i] > 0) {
      p.setPen(Qt::black);
      p.drawText(QRectF(x, bar.top() - fm.height(), width, fm.height()), Qt::AlignCenter,
                 QString::number(Counts[i]));
    }
    // The edges stand between the bars they part.
    if (i < kReplyTimeEdgesMs.size()) {
      p.setPen(Qt::black);
      p.drawText(QRectF(x + width / 2, plot.bottom(), width, fm.height()), Qt::AlignCenter,
                 QString::number(kReplyTimeEdgesMs[i]));
    }
  }
}

TroubleChart::TroubleChart(QWidget* Parent) : QWidget(Parent), Slots(kTroubleSlots) {
  setObjectName(QStringLiteral("TroubleChart"));
}

QSize TroubleChart::sizeHint() const { return kChartSize; }

void TroubleChart::SetSlots(int NewPort, std::vector<TroubleSlot> NewSlots) {
  if (NewPort == Port && NewSlots == Slots) return;
  Port = NewPort;
  Slots = std::move(NewSlots);
  update();
}

TroubleSlot TroubleChart::Totals() const {
  TroubleSlot sum;
  for (const TroubleSlot& s : Slots) {
    sum.Timeouts += s.Timeouts;
    sum.Rejected += s.Rejected;
    sum.Refusals += s.Refusals;
  }
  return sum;
}

void TroubleChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF plot = PlotArea(*this);
  DrawFrame(p, *this, plot);
  const QFontMetrics fm = fontMetrics();
  const TroubleSlot sum = Totals();
  // The legend is the title: each colour with its count over the minutes shown.
  const struct {
    QColor Colour;
    QString Text;
  } legend[] = {{kTimeouts, QStringLiteral("нет ответа %1").arg(sum.Timeouts)},
                {kRejected, QStringLiteral("не принято %1").arg(sum.Rejected)},
                {kRefusals, QStringLiteral("отказов %1").arg(sum.Refusals)}};
  double x = kPadding;
  p.setPen(Qt::black);
  const QString head = Port == 0 ? QStringLiteral("Сбои за 5 мин:")
                                 : PortName(Port) + QStringLiteral(", сбои за 5 мин:");
  p.drawText(QPointF(x, kPadding + fm.ascent()), head);
  x += fm.horizontalAdvance(head) + kPadding;
  for (const auto& item : legend) {
    p.fillRect(QRectF(x, kPadding + 2, fm.ascent() - 2, fm.ascent() - 2), item.Colour);
    x += fm.ascent() + 2;
    p.drawText(QPointF(x, kPadding + fm.ascent()), item.Text);
    x += fm.horizontalAdvance(item.Text) + 2 * kPadding;
  }
  uint64_t most = 0;
  for (const TroubleSlot& s : Slots) most = std::max(most, s.Timeouts + s.Rejected + s.Refusals);
  const double width = plot.width() / static_cast<double>(std::max<size_t>(1, Slots.size()));
  const double unit = plot.height() / static_cast<double>(Highest(most));
  for (size_t i = 0; i < Slots.size(); ++i) {
    const double left = plot.left() + width * static_cast<double>(i) + kBarGap / 2.0;
    double bottom = plot.bottom();
    for (const auto& [count, colour] :
         {std::pair{Slots[i].Timeouts, kTimeouts}, std::pair{Slots[i].Rejected, kRejected},
          std::pair{Slots[i].Refusals, kRefusals}}) {
      const double h = unit * static_cast<double>(count);
      p.fillRect(QRectF(left, bottom - h, width - kBarGap, h), colour);
      bottom -= h;
    }
  }
  // The scale, where the bars of the last minutes are least likely to stand.
  if (most > 0) {
    p.setPen(kAxis);
    p.drawLine(QPointF(plot.left(), plot.top()), QPointF(plot.left() + kPadding, plot.top()));
    p.drawText(QPointF(plot.left() + 2 * kPadding, plot.top() + fm.ascent() / 2.0),
               QStringLiteral("%1 за %2 с").arg(most).arg(kTroubleSlotSeconds));
  }
  // Minutes back, under the slots where each begins.
  p.setPen(Qt::black);
  const int perMinute = static_cast<int>(60 / kTroubleSlotSeconds);
  for (int m = 0; m * perMinute <= static_cast<int>(Slots.size()); ++m) {
    const double at = plot.right() - width * m * perMinute;
    const QString label = m == 0 ? QStringLiteral("сейчас") : QStringLiteral("−%1 мин").arg(m);
    const double w = fm.horizontalAdvance(label);
    const double left = std::clamp(at - w / 2, plot.left(), plot.right() - w);
    p.drawText(QPointF(left, plot.bottom() + fm.ascent()), label);
  }
}

}  // namespace qx25::station
