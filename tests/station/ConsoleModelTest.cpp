// The console's words and trace pane without a window: frames built by the
// driver's own codec named by their request, port statuses sorted into
// accepted, refused and failed, and the trace model's batches and cap.
#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "ConsoleWords.h"
#include "HostTests.h"
#include "HostWindow.h"
#include "TraceDelegate.h"
#include "TraceFilter.h"
#include "TraceModel.h"
#include "driver/protocol/Link.h"
#include "driver/protocol/Protocol.h"
#include "serial/SerialDispatcher.h"

using namespace qx25::station;
using qx25::serial::TraceDirection;
using qx25::serial::TraceRecord;

namespace {

// Nozzle 1, side 1: group 2, address character 0x21.
std::vector<uint8_t> ToNozzle(std::vector<uint8_t> Tail) {
  std::vector<uint8_t> data{0x02, 0x21};
  data.insert(data.end(), Tail.begin(), Tail.end());
  return qx25::RequestFrame(data);
}

TraceRecord Record(TraceDirection Direction, uint8_t Port, const std::vector<uint8_t>& Bytes,
                   int32_t Result = qx25::serial::kSerialOk, int Code = -1) {
  return TraceRecord{Direction, 1.5, Port, Bytes, Result, Code};
}

QString Cell(const TraceModel& Model, int Row, int Column) {
  return Model.data(Model.index(Row, Column)).toString();
}

}  // namespace

void ConsoleModelTest::requestsAreNamedByTheirLetter() {
  QCOMPARE(RequestText(ToNozzle({'1'})), QStringLiteral("1 состояние"));
  QCOMPARE(RequestText(ToNozzle({'1', '1'})), QStringLiteral("1 состояние, событие принято"));
  QCOMPARE(RequestText(ToNozzle({'T', '0', '0', '0', '2', '5'})),
           QStringLiteral("T предустановка"));
  QCOMPARE(RequestText(ToNozzle({'2'})), QStringLiteral("2 пуск"));
  // One letter, two requests: the read of the counter and its guarded write.
  QCOMPARE(RequestText(ToNozzle({'6'})), QStringLiteral("6 суммарный счётчик"));
  QCOMPARE(RequestText(ToNozzle({'6', 0x01, '0', '0', '2', '5', '8', '1', '0', '7'})),
           QStringLiteral("6 запись счётчика"));
  // Line-wide requests carry their letter where a nozzle's address stands.
  QCOMPARE(RequestText(qx25::RequestFrame({0x02, 'W', '3', '1'})),
           QStringLiteral("W общая команда"));
  QCOMPARE(RequestText(qx25::RequestFrame({0x02, ']', '0', '0', '0', '0', '0', '0', '1', '2', '3',
                                           '4', '5', '6', '7', '8', '9'})),
           QStringLiteral("] программирование адреса"));
  // A nozzle above 15 has a group of its own: the letter is still found.
  QCOMPARE(RequestText(qx25::RequestFrame({0x07, 0x21, '4'})), QStringLiteral("4 текущий налив"));
  QCOMPARE(RequestText(ToNozzle({'Z'})), QStringLiteral("Z ?"));
  // What is no request frame gets no name, whatever its length.
  QCOMPARE(RequestText({}), QString());
  QCOMPARE(RequestText(std::vector<uint8_t>{0x06}), QString());
  QCOMPARE(RequestText(std::vector<uint8_t>{0x02, 0x31, 0x4E, 0x03, 0x03, 0x72}), QString());
  QCOMPARE(RequestText(std::vector<uint8_t>{0x7F, 0x02, 0x21, 0x5E, 0x03, 0x03}), QString());
}

void ConsoleModelTest::portStatusIsSortedAndNamed() {
  QCOMPARE(PortStatusMeaning(0).Kind, StatusKind::None);
  QCOMPARE(PortStatusMeaning(1).Kind, StatusKind::Accepted);
  // Each refusal code names itself and what was refused.
  for (const int code : {16, 17, 18, 20, 23, 24, 25, 26}) {
    const StatusMeaning m = PortStatusMeaning(code);
    QCOMPARE(m.Kind, StatusKind::Refused);
    QVERIFY2(m.Text.startsWith(QStringLiteral("отказ: ")), qPrintable(m.Text));
    QVERIFY2(m.Text.endsWith(QStringLiteral(" (код %1)").arg(code)), qPrintable(m.Text));
  }
  QCOMPARE(PortStatusMeaning(16).Text, QStringLiteral("отказ: пуск не принят (код 16)"));
  // The dispatcher's verdicts on a failed exchange are line failures; the
  // code is named as one, so that "5" is never read as a port.
  QCOMPARE(PortStatusMeaning(qx25::serial::kLineNoDevice).Text,
           QStringLiteral("сбой линии: нет устройства (код 5)"));
  QCOMPARE(PortStatusMeaning(qx25::serial::kLineNoDevice).Kind, StatusKind::LineFailure);
  QCOMPARE(PortStatusMeaning(qx25::serial::kLineNoAccess).Text,
           QStringLiteral("сбой линии: нет доступа к устройству (код 8)"));
  // Codes nobody defines (a host's own through slot 2) are never taken for
  // an accepted reply or a refusal.
  for (const int code : {19, 21, 22, 200, 255})
    QCOMPARE(PortStatusMeaning(code).Kind, StatusKind::LineFailure);
}

void ConsoleModelTest::statesInWords() {
  QCOMPARE(NozzleStateText(192), QStringLiteral("свободна"));
  QCOMPARE(NozzleStateText(192, 'R'), QStringLiteral("свободна, событие R"));
  QCOMPARE(NozzleStateText(226), QStringLiteral("пистолет снят, сторона 2"));
  QCOMPARE(NozzleStateText(200), QStringLiteral("налив разрешён"));
  QCOMPARE(NozzleStateText(211), QStringLiteral("идёт налив, сторона 3"));
  QCOMPARE(NozzleStateText(216), QStringLiteral("налив окончен"));
  QCOMPARE(NozzleStateText(217), QStringLiteral("налив остановлен, сторона 1"));
  QCOMPARE(NozzleStateText(0x100), QStringLiteral("нет ответа"));
  // Past side 4 a code is no side's state: it is shown as the number.
  QCOMPARE(NozzleStateText(213), QStringLiteral("код 213"));
  QVERIFY(IsDelivering(209) && IsDelivering(212) && !IsDelivering(208) && !IsDelivering(213));
  QVERIFY(IsFinished(216) && !IsFinished(217));
}

void ConsoleModelTest::traceComesInBatchesAndKeepsTheNewest() {
  auto buffer = std::make_shared<TraceBuffer>();
  const qx25::serial::TraceCallback add = TraceBuffer::Callback(buffer);
  TraceModel model(buffer);
  const std::vector<uint8_t> status = ToNozzle({'1'});
  add(Record(TraceDirection::Request, 3, status));
  add(Record(TraceDirection::Reply, 3, {0x02, 0x31}, qx25::serial::kSerialTimeout));
  add(Record(TraceDirection::Request, 4, ToNozzle({'8'})));
  add(Record(TraceDirection::Reply, 4, {0x15, 0x06}, qx25::serial::kSerialRejected, 222));
  // Nothing reaches the model until the window takes the batch.
  QCOMPARE(model.rowCount(), 0);
  model.Refresh();
  QCOMPARE(model.rowCount(), 4);
  QCOMPARE(Cell(model, 0, TraceModel::PortColumn), QStringLiteral("COM3"));
  QCOMPARE(Cell(model, 0, TraceModel::TimeColumn), QStringLiteral("1.500"));
  QCOMPARE(Cell(model, 0, TraceModel::BytesColumn), QStringLiteral("7F 02 21 5E 31 4E 03 03 53"));
  // A reply names the request it answers, and how its exchange failed.
  QCOMPARE(Cell(model, 1, TraceModel::RequestColumn), QStringLiteral("ответ: 1 состояние"));
  QCOMPARE(Cell(model, 1, TraceModel::ResultColumn), QStringLiteral("нет ответа"));
  QCOMPARE(Cell(model, 3, TraceModel::RequestColumn), QStringLiteral("ответ: 8 сброс"));
  QCOMPARE(Cell(model, 3, TraceModel::ResultColumn), QStringLiteral("ответ не принят, код 222"));

  // A request on a line another program holds never went out: one row says
  // so, with no bytes; a send-only frame shows once the port's next begins.
  add(Record(TraceDirection::Request, 5, status));
  add(Record(TraceDirection::Reply, 5, {}, qx25::serial::kSerialInUse));
  add(Record(TraceDirection::Request, 6, ToNozzle({'3'})));
  add(Record(TraceDirection::Request, 6, status));
  model.Refresh();
  QCOMPARE(model.rowCount(), 6);
  QCOMPARE(Cell(model, 4, TraceModel::DirectionColumn), QStringLiteral("→"));
  QCOMPARE(Cell(model, 4, TraceModel::ResultColumn),
           QStringLiteral("не отправлен: занята другой программой"));
  QCOMPARE(Cell(model, 4, TraceModel::BytesColumn), QString());
  QCOMPARE(Cell(model, 5, TraceModel::PortColumn), QStringLiteral("COM6"));
  QCOMPARE(Cell(model, 5, TraceModel::ResultColumn), QString());
  QVERIFY(model.data(model.index(3, TraceModel::BytesColumn), Qt::ForegroundRole).isValid());
  QVERIFY(!model.data(model.index(2, TraceModel::BytesColumn), Qt::ForegroundRole).isValid());

  // A batch larger than the pane: the newest rows stay, and the replies that
  // survive still name requests that did not.
  for (int i = 0; i < kTraceRows; ++i) {
    add(Record(TraceDirection::Request, 5, ToNozzle({'6'})));
    add(Record(TraceDirection::Reply, 5, {0x06}));
  }
  add(Record(TraceDirection::Reply, 5, {0x06}));
  model.Refresh();
  QCOMPARE(model.rowCount(), kTraceRows);
  QCOMPARE(Cell(model, 0, TraceModel::RequestColumn), QStringLiteral("ответ: 6 суммарный счётчик"));
  QCOMPARE(Cell(model, kTraceRows - 1, TraceModel::RequestColumn),
           QStringLiteral("ответ: 6 суммарный счётчик"));
  QCOMPARE(buffer->Dropped(), uint64_t{0});
}

void ConsoleModelTest::unreadTraceIsBounded() {
  TraceBuffer buffer;
  const std::vector<uint8_t> bytes = ToNozzle({'1'});
  for (size_t i = 0; i < kTraceBacklog + 5; ++i)
    buffer.Add(Record(TraceDirection::Reply, static_cast<uint8_t>(i % 30 + 1), bytes));
  QCOMPARE(buffer.Dropped(), uint64_t{5});
  const auto taken = buffer.Take();
  QCOMPARE(taken.size(), kTraceBacklog);
  // The oldest went: the first kept is record number 5.
  QCOMPARE(int{taken.front().Port}, 5 % 30 + 1);
  QVERIFY(buffer.Take().empty());
}

void ConsoleModelTest::traceFilterAndSave() {
  auto buffer = std::make_shared<TraceBuffer>();
  const qx25::serial::TraceCallback add = TraceBuffer::Callback(buffer);
  TraceModel model(buffer);
  HostWindow window;
  window.SetTraceModel(&model);
  add(Record(TraceDirection::Request, 3, ToNozzle({'1'})));
  add(Record(TraceDirection::Reply, 3, {0x02, 0x31}));
  add(Record(TraceDirection::Request, 3, ToNozzle({'T', '0', '0', '0', '2', '5'})));
  add(Record(TraceDirection::Reply, 3, {qx25::kCan}));
  add(Record(TraceDirection::Request, 4, ToNozzle({'4'})));
  add(Record(TraceDirection::Reply, 4, {}, qx25::serial::kSerialTimeout));
  add(Record(TraceDirection::Request, 4, ToNozzle({'3'})));
  add(Record(TraceDirection::Reply, 4, {qx25::kAck}));
  model.Refresh();
  TraceFilter& shown = window.TraceShown();
  const auto requests = [&] {
    QStringList texts;
    for (int row = 0; row < shown.rowCount(); ++row)
      texts << shown.index(row, TraceModel::RequestColumn).data().toString();
    return texts;
  };
  QCOMPARE(shown.rowCount(), 8);
  // Without the polls, a command and its reply remain, even when the poll's
  // reply failed.
  shown.SetHidePolls(true);
  QCOMPARE(requests(), QStringList({"T предустановка", "ответ: T предустановка", "3 остановка",
                                    "ответ: 3 остановка"}));
  shown.SetHidePolls(false);
  shown.SetPort(4);
  QCOMPARE(shown.rowCount(), 4);
  shown.SetPort(0);
  shown.SetTroubleOnly(true);
  QCOMPARE(requests(), QStringList({"ответ: T предустановка", "ответ: 4 текущий налив"}));

  // Saved as shown, with the heading; a place that cannot be written says so.
  const QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("trace.txt"));
  QVERIFY(window.SaveTraceTo(path));
  QFile saved(path);
  QVERIFY(saved.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 3);
  QVERIFY(lines[0].startsWith(QStringLiteral("Время, с\tПорт")));
  QVERIFY2(lines[2].contains(QStringLiteral("\tнет ответа\t")), qPrintable(lines[2]));
  QVERIFY(!window.SaveTraceTo(dir.filePath(QStringLiteral("no/such/folder/trace.txt"))));
  QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("Трасса не сохранена")));
}

void ConsoleModelTest::scrolledUpTraceStaysStill() {
  auto buffer = std::make_shared<TraceBuffer>();
  TraceModel model(buffer);
  HostWindow window;
  window.SetTraceModel(&model);
  window.findChild<QTabWidget*>(QStringLiteral("ConsoleTabs"))->setCurrentIndex(0);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  double second = 0;
  const auto addRows = [&](int Count) {
    for (int i = 0; i < Count; ++i)
      buffer->Add(TraceRecord{TraceDirection::Request, ++second, 3, ToNozzle({'1'}),
                              qx25::serial::kSerialOk, -1});
    model.Refresh();
  };
  QTableView& view = window.TraceView();
  QScrollBar* bar = view.verticalScrollBar();
  const auto topTime = [&] {
    return view.indexAt(QPoint(0, 0)).siblingAtColumn(TraceModel::TimeColumn).data().toString();
  };
  // At the end, the pane follows.
  addRows(kTraceRows - 500);
  QApplication::processEvents();
  QCOMPARE(bar->value(), bar->maximum());
  addRows(100);
  QApplication::processEvents();
  QCOMPARE(bar->value(), bar->maximum());

  // Scrolled up: new rows below and the oldest trimmed above move nothing.
  bar->setValue(bar->maximum() / 2);
  QApplication::processEvents();
  const QString top = topTime();
  addRows(1000);
  QApplication::processEvents();
  QCOMPARE(topTime(), top);
  QVERIFY(bar->value() < bar->maximum());

  // Back at the end, it follows again.
  bar->setValue(bar->maximum());
  addRows(10);
  QApplication::processEvents();
  QCOMPARE(bar->value(), bar->maximum());
}

void ConsoleModelTest::traceCellsFollowTheirColumnsWidth() {
  // The drawer keeps each text laid out; a column made narrower must still
  // cut the text anew, as a drawer that never saw it wide would.
  QStandardItemModel cells(1, 1);
  cells.setItem(0, 0, new QStandardItem(QStringLiteral("02 30 4F 30 4F 00 7F 30 4F 03 03 73")));
  const auto drawn = [&](const TraceDelegate& Drawer, int Width) {
    QImage image(400, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, Width, 20);
    option.font = QApplication::font();
    option.fontMetrics = QFontMetrics(option.font);
    option.palette = QApplication::palette();
    Drawer.paint(&painter, option, cells.index(0, 0));
    return image;
  };
  const TraceDelegate used;
  const TraceDelegate fresh;
  const QImage wide = drawn(used, 400);
  QCOMPARE(drawn(used, 400), wide);
  QCOMPARE(drawn(used, 80), drawn(fresh, 80));
  QVERIFY(drawn(fresh, 80) != wide);
}
