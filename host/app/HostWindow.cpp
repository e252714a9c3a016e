#include "HostWindow.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace qx25::hostapp {

namespace {

constexpr int kMargin = 8;
constexpr int kCellPadding = 16;  // pixels added to a column's content width
const QSize kInitialSize{720, 360};

}  // namespace

HostWindow::HostWindow(QWidget* Parent) : QMainWindow(Parent), Model(new LineListModel(this)) {
  setObjectName(QStringLiteral("HostWindow"));
  setWindowTitle(QStringLiteral("qx25-host — управление ТРК"));

  QMenu* file = menuBar()->addMenu(QString::fromUtf8(kFileMenuText));
  FileMenu = file->menuAction();
  Exit = file->addAction(QString::fromUtf8(kExitText));
  Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Exit->setStatusTip(QStringLiteral("Закрыть программу"));
  // Closing the last window ends the application.
  connect(Exit, &QAction::triggered, this, &QWidget::close);
  DispenserMenu = menuBar()->addMenu(QString::fromUtf8(kDispenserMenuText))->menuAction();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  auto* caption = new QLabel(QStringLiteral("Линии связи с ТРК"), central);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  layout->addWidget(caption);
  LineView = new QTableView(central);
  LineView->setObjectName(QStringLiteral("LineView"));
  LineView->setModel(Model);
  LineView->verticalHeader()->hide();
  // A list to read for now: nothing to select or edit.
  LineView->setSelectionMode(QAbstractItemView::NoSelection);
  LineView->setFocusPolicy(Qt::NoFocus);
  LineView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LineView->setAlternatingRowColors(true);
  LineView->horizontalHeader()->setStretchLastSection(true);
  LineView->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  layout->addWidget(LineView);
  setCentralWidget(central);

  LinesLabel = new QLabel(this);
  LinesLabel->setObjectName(QStringLiteral("LinesLabel"));
  DriverLabel = new QLabel(this);
  DriverLabel->setObjectName(QStringLiteral("DriverLabel"));
  statusBar()->addWidget(LinesLabel, 1);
  statusBar()->addPermanentWidget(DriverLabel);
  UpdateLinesText();
  resize(kInitialSize);
}

void HostWindow::SetLines(std::vector<LineRow> Lines) {
  Model->SetLines(std::move(Lines));
  FitColumns();
  UpdateLinesText();
}

void HostWindow::SetSetupResult(int Port, int32_t Result) {
  Model->SetSetupResult(Port, Result);
  FitColumns();
}

void HostWindow::FitColumns() {
  LineView->resizeColumnsToContents();
  for (int column = 0; column + 1 < Model->columnCount(); ++column)
    LineView->setColumnWidth(column, LineView->columnWidth(column) + kCellPadding);
}

void HostWindow::SetDriverText(const QString& Text, const QString& ToolTip) {
  DriverLabel->setText(Text);
  DriverLabel->setToolTip(ToolTip);
}

QString HostWindow::LinesText() const { return LinesLabel->text(); }
QString HostWindow::DriverText() const { return DriverLabel->text(); }

void HostWindow::UpdateLinesText() {
  const std::vector<LineRow>& rows = Model->Lines();
  if (rows.empty()) {
    LinesLabel->setText(
        QStringLiteral("Линий нет: добавьте --port N=/dev/ttyUSB0 или --simulate"));
    return;
  }
  QStringList names;
  for (const LineRow& row : rows)
    names << PortName(row.Line.Port) + QLatin1Char(' ') +
                 (row.Line.Simulated ? QStringLiteral("(симулятор)")
                                     : QString::fromStdString(row.Device));
  LinesLabel->setText(QStringLiteral("Линии: ") + names.join(QStringLiteral(", ")));
}

}  // namespace qx25::hostapp
