#include "HostWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "ChosenNozzle.h"
#include "ForecourtOverview.h"
#include "NozzlePanel.h"
#include "NozzleTile.h"
#include "OverviewPane.h"
#include "QuitQuestion.h"
#include "ServiceWriteRun.h"
#include "StatisticsModel.h"
#include "StatisticsPage.h"
#include "TraceDelegate.h"
#include "TraceFilter.h"
#include "TraceModel.h"
#include "WhenShown.h"

namespace qx25::station {

namespace {

constexpr int kMargin = 8;
constexpr int kCellPadding = 16;  // pixels added to a column's content width
const QSize kInitialSize{1400, 900};
// Lines the status line names one by one; a station's are counted.
constexpr size_t kNamedLines = 4;
// Panels a row: a simulated line's four; a station's 30 lines scroll.
constexpr int kPanelColumns = 4;
// The panels take the larger share of the height, the tabs the rest.
constexpr int kPanelStretch = 3;
constexpr int kTabStretch = 2;
// Rows of panels shown as such; more, and the overview takes over.
constexpr int kPanelRowsShown = 2;
// What the tabs keep at least beside a full overview.
constexpr int kLeastTabsHeight = 200;
constexpr int kBarsHeight = 50;  // the menu and status bars, before the window is laid out
// Said in the status line, and where the panels would stand.
const QString kNoLinesHint =
    QStringLiteral("Линий нет: добавьте --port N=/dev/ttyUSB0 или --simulate");

// A table to read: nothing to select or edit, no row numbers.
QTableView* ReadOnlyTable(const QString& Name, QWidget* Parent) {
  auto* view = new QTableView(Parent);
  view->setObjectName(Name);
  view->verticalHeader()->hide();
  view->setSelectionMode(QAbstractItemView::NoSelection);
  view->setFocusPolicy(Qt::NoFocus);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setAlternatingRowColors(true);
  view->horizontalHeader()->setStretchLastSection(true);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return view;
}

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
  QMenu* dispenser = menuBar()->addMenu(QString::fromUtf8(kDispenserMenuText));
  DispenserMenu = dispenser->menuAction();
  QMenu* line = menuBar()->addMenu(QString::fromUtf8(kLineMenuText));
  LineEntries = line;
  Compare = line->addAction(QString::fromUtf8(kCompareItemText));
  Compare->setObjectName(QStringLiteral("CompareAction"));
  Compare->setStatusTip(QStringLiteral("Сравнить параметры контроллера колонки с файлом"));
  Compare->setEnabled(false);
  ClearMarks = line->addAction(QStringLiteral("Снять все отметки «!»"));
  ClearMarks->setObjectName(QStringLiteral("ClearMarksAction"));
  ClearMarks->setStatusTip(QStringLiteral("Отметить отказы и сбои всех колонок обзора как просмотренные"));
  connect(ClearMarks, &QAction::triggered, this, [this] {
    for (NozzleTile* tile : ForecourtPane->Overview().Tiles()) tile->MarkSeen();
  });
  Owner = std::make_unique<QWidget>(nullptr, Qt::Window);
  Owner->setObjectName(QStringLiteral("ServiceOwner"));
  Owner->setWindowTitle(windowTitle());
  // The service window centres on its owner: keep the owner over the console.
  connect(dispenser, &QMenu::aboutToShow, this, [this] { Owner->setGeometry(geometry()); });

  setCentralWidget(MakeConsole());
  Chooser = new ChosenNozzle(*this);
  Quitting = new QuitQuestion(*this);

  LinesLabel = new QLabel(this);
  LinesLabel->setObjectName(QStringLiteral("LinesLabel"));
  DriverLabel = new QLabel(this);
  DriverLabel->setObjectName(QStringLiteral("DriverLabel"));
  statusBar()->addWidget(LinesLabel, 1);
  statusBar()->addPermanentWidget(DriverLabel);
  UpdateLinesText();
  resize(kInitialSize);
}

HostWindow::~HostWindow() = default;

QWidget* HostWindow::MakeConsole() {
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName(QStringLiteral("ConsoleSplitter"));
  Split = split;
  ForecourtPane = new OverviewPane(split);
  ForecourtPane->hide();

  auto* scroll = new QScrollArea(split);
  PanelArea = scroll;
  scroll->setObjectName(QStringLiteral("NozzleArea"));
  scroll->setWidgetResizable(true);
  // The keys go to the panels' controls, never to the area that holds them;
  // it brings the one in focus into view.
  scroll->setFocusPolicy(Qt::NoFocus);
  connect(qApp, &QApplication::focusChanged, scroll, [scroll](QWidget*, QWidget* Now) {
    if (Now != nullptr && scroll->widget()->isAncestorOf(Now)) scroll->ensureWidgetVisible(Now);
  });
  PanelHolder = new QWidget(scroll);
  PanelGrid = new QGridLayout(PanelHolder);
  PanelGrid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  PanelGrid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  NoNozzlesLabel = new QLabel(kNoLinesHint, PanelHolder);
  NoNozzlesLabel->setObjectName(QStringLiteral("NoNozzlesLabel"));
  PanelGrid->addWidget(NoNozzlesLabel, 0, 0);
  scroll->setWidget(PanelHolder);

  Tabs = new QTabWidget(split);
  Tabs->setObjectName(QStringLiteral("ConsoleTabs"));
  Tabs->addTab(MakeTracePage(Tabs), QStringLiteral("Трасса"));
  Statistics = ReadOnlyTable(QStringLiteral("StatisticsView"), Tabs);
  StatisticsPane = new StatisticsPage(*Statistics, Tabs);
  Tabs->addTab(StatisticsPane, QStringLiteral("Статистика линий"));
  LineView = ReadOnlyTable(QStringLiteral("LineView"), Tabs);
  LineView->setModel(Model);
  Tabs->addTab(LineView, QStringLiteral("Линии"));

  split->addWidget(ForecourtPane);
  split->addWidget(scroll);
  split->addWidget(Tabs);
  split->setStretchFactor(0, kPanelStretch);
  split->setStretchFactor(1, kPanelStretch);
  split->setStretchFactor(2, kTabStretch);
  split->setSizes({0, kInitialSize.height() * kPanelStretch / (kPanelStretch + kTabStretch),
                   kInitialSize.height() * kTabStretch / (kPanelStretch + kTabStretch)});
  return split;
}

QWidget* HostWindow::MakeTracePage(QWidget* Parent) {
  auto* page = new QWidget(Parent);
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QHBoxLayout;
  auto* hidePolls = new QCheckBox(QStringLiteral("Скрыть опрос"), page);
  hidePolls->setObjectName(QStringLiteral("HidePollsBox"));
  hidePolls->setToolTip(
      QStringLiteral("Без запросов состояния и текущего налива и ответов на них"));
  bar->addWidget(hidePolls);
  bar->addWidget(new QLabel(QStringLiteral("Порт"), page));
  TracePort = new QComboBox(page);
  TracePort->setObjectName(QStringLiteral("TracePortBox"));
  TracePort->addItem(QStringLiteral("все"), 0);
  bar->addWidget(TracePort);
  auto* troubleOnly = new QCheckBox(QStringLiteral("Только отказы и сбои"), page);
  troubleOnly->setObjectName(QStringLiteral("TroubleOnlyBox"));
  bar->addWidget(troubleOnly);
  bar->addStretch(1);
  auto* save = new QPushButton(QStringLiteral("Сохранить трассу…"), page);
  save->setObjectName(QStringLiteral("SaveTraceBtn"));
  bar->addWidget(save);
  column->addLayout(bar);

  Trace = ReadOnlyTable(QStringLiteral("TraceView"), page);
  Trace->setAlternatingRowColors(false);
  Trace->setItemDelegate(new TraceDelegate(Trace));
  Trace->verticalHeader()->setDefaultSectionSize(Trace->fontMetrics().height() + 4);
  Filter = new TraceFilter(this);
  Filter->setObjectName(QStringLiteral("TraceFilter"));
  column->addWidget(Trace, 1);

  connect(hidePolls, &QCheckBox::toggled, Filter, &TraceFilter::SetHidePolls);
  connect(troubleOnly, &QCheckBox::toggled, Filter, &TraceFilter::SetTroubleOnly);
  connect(TracePort, &QComboBox::currentIndexChanged, Filter,
          [this] { Filter->SetPort(TracePort->currentData().toInt()); });
  connect(save, &QPushButton::clicked, this, &HostWindow::AskWhereToSaveTrace);
  return page;
}

void HostWindow::AskWhereToSaveTrace() {
  // Not modal: the forecourt stays in command while a name is chosen.
  auto* dialog = new QFileDialog(this, QStringLiteral("Сохранить трассу"), QDir::homePath(),
                                 QStringLiteral("Текст (*.txt);;Все файлы (*)"));
  dialog->setObjectName(QStringLiteral("SaveTraceDialog"));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix(QStringLiteral("txt"));
  dialog->selectFile(QStringLiteral("qx25-trace.txt"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::fileSelected, this, &HostWindow::SaveTraceTo);
  dialog->show();
}

bool HostWindow::SaveTraceTo(const QString& Path) {
  const QString error = SaveTrace(*Filter, Path);
  if (!error.isEmpty()) {
    statusBar()->showMessage(QStringLiteral("Трасса не сохранена: %1 (%2)").arg(Path, error));
    return false;
  }
  statusBar()->showMessage(
      QStringLiteral("Трасса сохранена: %1, строк: %2").arg(Path).arg(Filter->rowCount()));
  return true;
}

void HostWindow::SetNozzles(const std::vector<NozzleConfig>& Nozzles) {
  for (NozzlePanel* panel : NozzlePanels) delete panel;
  NozzlePanels.clear();
  NoNozzlesLabel->setVisible(Nozzles.empty());
  // A line's nozzles start a row of their own, so that a row reads as a line.
  int row = -1;
  int column = kPanelColumns;
  int port = 0;
  for (const NozzleConfig& nozzle : Nozzles) {
    if (nozzle.Port != port || column == kPanelColumns) {
      ++row;
      column = 0;
      port = nozzle.Port;
    }
    auto* panel = new NozzlePanel(nozzle, PanelHolder);
    PanelGrid->addWidget(panel, row, column++);
    NozzlePanels.push_back(panel);
  }
  const bool overview = row + 1 > kPanelRowsShown;
  PanelArea->setVisible(!overview);
  ForecourtPane->setVisible(overview);
  if (overview) ForecourtPane->SetPanels(NozzlePanels);
  Chooser->SetPanels(NozzlePanels, overview ? ForecourtPane : nullptr);
  OrderTabStops(overview);
  if (!overview) return;
  // The whole forecourt first, the tabs what is left.
  const int whole = Split->isVisible() ? Split->height() : kInitialSize.height() - kBarsHeight;
  const int tiles = ForecourtPane->Overview().sizeHint().height();
  Split->setSizes(
      {std::min(tiles, whole - kLeastTabsHeight), 0, std::max(kLeastTabsHeight, whole - tiles)});
}

void HostWindow::OrderTabStops(bool WithOverview) {
  // Tab goes as a sale does: the nozzle (the overview's tiles), its panel's
  // controls, the next panel's; then the rest of the window, in its order.
  std::vector<QWidget*> order;
  if (WithOverview) order.push_back(&ForecourtPane->Overview());
  for (NozzlePanel* panel : NozzlePanels)
    order.insert(order.end(), panel->TabStops().begin(), panel->TabStops().end());
  const auto first = static_cast<std::ptrdiff_t>(order.size());
  const auto inside = [](QWidget* Outer, QWidget* W) {
    return Outer == W || Outer->isAncestorOf(W);
  };
  for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
    if (!(w->focusPolicy() & Qt::TabFocus) || inside(ForecourtPane, w) || inside(PanelArea, w))
      continue;
    // A compound widget (a tab widget, a spin box) moves with its insides.
    const bool part = std::any_of(order.begin() + first, order.end(), [&](QWidget* Outer) {
      return Outer->isAncestorOf(w) && Outer->focusProxy() != nullptr &&
             Outer->isAncestorOf(Outer->focusProxy());
    });
    if (!part) order.push_back(w);
  }
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  // The keyboard starts where a sale does: the overview, or the chosen nozzle's dose.
  if (WithOverview)
    ForecourtPane->Overview().setFocus(Qt::OtherFocusReason);
  else if (NozzlePanel* chosen = Chooser->Chosen())
    chosen->FocusDose();
}

OverviewPane* HostWindow::Overview() const {
  return ForecourtPane->isVisibleTo(this) ? ForecourtPane : nullptr;
}

NozzlePanel* HostWindow::Panel(int Port, int Nozzle) const {
  for (NozzlePanel* panel : NozzlePanels)
    if (panel->Config().Port == Port && panel->Config().Nozzle == Nozzle) return panel;
  return nullptr;
}

void HostWindow::SetTraceModel(TraceModel* Rows) {
  TraceRows = Rows;
  Filter->setSourceModel(Rows);
  Trace->setModel(Filter);
  // Widths from typical cells: measuring thousands of rows would cost the
  // window its time on every batch.
  const QString widest[] = {QStringLiteral("00000.000"), QStringLiteral("COM30"),
                            QStringLiteral("Напр."),
                            QStringLiteral("ответ: 1 состояние, событие принято"),
                            QStringLiteral("ответ не принят, код 222")};
  for (int column = 0; column < static_cast<int>(std::size(widest)); ++column)
    Trace->setColumnWidth(column,
                          Trace->fontMetrics().horizontalAdvance(widest[column]) + kCellPadding);
  // At the end the pane follows the newest rows; scrolled up, the row at its
  // top stays put while rows are added below and the oldest go above. Hidden,
  // it neither scrolls nor lays out, and catches up when shown.
  connect(Rows, &TraceModel::BatchStarting, Trace, [this] {
    // Hidden, the place it was left in is taken once, by the first batch.
    if (TraceBehind) return;
    QScrollBar* bar = Trace->verticalScrollBar();
    FollowTrace = bar->value() >= bar->maximum();
    const QModelIndex top = Trace->indexAt(QPoint(0, 0));
    FollowTrace = FollowTrace || !top.isValid();
    if (!FollowTrace) TraceAnchor = top.data(TraceModel::SerialRole).toULongLong();
    TraceBehind = !Trace->isVisible();
  });
  connect(Rows, &TraceModel::RowsAppended, Trace, [this] {
    if (!TraceBehind) FollowTraceRows();
  });
  WhenShown(*Trace, [this] {
    if (!TraceBehind) return;
    TraceBehind = false;
    FollowTraceRows();
  });
}

void HostWindow::FollowTraceRows() {
  if (FollowTrace) {
    Trace->scrollToBottom();
    return;
  }
  const QModelIndex anchor = Filter->mapFromSource(TraceRows->IndexOfSerial(TraceAnchor));
  if (anchor.isValid()) Trace->scrollTo(anchor, QAbstractItemView::PositionAtTop);
}

void HostWindow::SetStatisticsModel(StatisticsModel* Figures) {
  Statistics->setModel(Figures);
  // Fitted to the figures when they grow or shrink a column, not at every
  // sample; hidden, when next shown.
  Statistics->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Statistics->horizontalHeader()->setStretchLastSection(false);
  StatisticsPane->SetModel(Figures);
  connect(Figures, &StatisticsModel::Sampled, Statistics, [this] { FitStatistics(false); });
  WhenShown(*Statistics, [this] { FitStatistics(true); });
  FitStatistics(true);
}

void HostWindow::FitStatistics(bool Always) {
  if (!Statistics->isVisible()) return;
  // The longest text of each column, in characters: figures are as wide as
  // their digits, so a column needs fitting only when this changes.
  const QAbstractItemModel* figures = Statistics->model();
  std::vector<qsizetype> longest(static_cast<size_t>(figures->columnCount()), 0);
  for (int column = 0; column < figures->columnCount(); ++column) {
    qsizetype& most = longest[static_cast<size_t>(column)];
    most = figures->headerData(column, Qt::Horizontal).toString().size();
    for (int row = 0; row < figures->rowCount(); ++row)
      most = std::max(most, figures->index(row, column).data().toString().size());
  }
  if (!Always && longest == StatisticsWidths) return;
  StatisticsWidths = std::move(longest);
  Statistics->resizeColumnsToContents();
}

void HostWindow::SetLines(std::vector<LineRow> Lines) {
  TracePort->clear();
  TracePort->addItem(QStringLiteral("все"), 0);
  for (const LineRow& row : Lines) TracePort->addItem(PortName(row.Line.Port), row.Line.Port);
  Model->SetLines(std::move(Lines));
  FitColumns();
  UpdateLinesText();
}

void HostWindow::SetSetupResult(int Port, int32_t Result, const QString& Reason) {
  Model->SetSetupResult(Port, Result, Reason);
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

void HostWindow::closeEvent(QCloseEvent* Event) {
  if (QuitWaitsForServiceWrite(*this)) return Event->ignore();
  if (Quitting->MayQuit())
    Event->accept();
  else
    Event->ignore();
}

QString HostWindow::LinesText() const { return LinesLabel->text(); }
QString HostWindow::DriverText() const { return DriverLabel->text(); }

void HostWindow::UpdateLinesText() {
  const std::vector<LineRow>& rows = Model->Lines();
  if (rows.empty()) {
    LinesLabel->setText(kNoLinesHint);
    return;
  }
  if (rows.size() > kNamedLines) {
    const auto simulated =
        std::count_if(rows.begin(), rows.end(), [](const LineRow& R) { return R.Line.Simulated; });
    LinesLabel->setText(QStringLiteral("Линий: %1 (%2–%3), из них симулированных: %4")
                            .arg(rows.size())
                            .arg(PortName(rows.front().Line.Port), PortName(rows.back().Line.Port))
                            .arg(simulated));
    return;
  }
  QStringList names;
  for (const LineRow& row : rows)
    names << PortName(row.Line.Port) + QLatin1Char(' ') +
                 (row.Line.Simulated ? QStringLiteral("(симулятор)")
                                     : QString::fromStdString(row.Device));
  LinesLabel->setText(QStringLiteral("Линии: ") + names.join(QStringLiteral(", ")));
}

}  // namespace qx25::station
