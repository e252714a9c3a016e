// The window itself: its controls, the catalog from show to close, the grid's
// rows, the status bar and the runs. In-place editing and the files call into
// this file, never the other way.
#include "ui/ParamFrame.h"

#include <QHeaderView>
#include <QLibraryInfo>
#include <QScrollBar>
#include <QShowEvent>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QTranslator>
#include <algorithm>
#include <exception>

#include "ui/Forms.h"
#include "ui/ParamModel.h"
#include "ui/ServiceWindow.h"
#include "ui/Workers.h"
#include "ui/ui_ParamFrame.h"

namespace {

constexpr QSize kClientSize(817, 705);
constexpr int kColumnWidths[TParamModel::ColumnCount] = {38, 422, 76, 64, 169};
constexpr int kHeaderPadding = 8;
constexpr int kStatusTimeoutMs = 2000;
constexpr int kEditorDelayMs = 50;
const QColor kStatusSuccess(0x00, 0x80, 0x00);
const QColor kStatusFailure(0xFF, 0x00, 0x00);

// The catalog's separators follow the user's locale, read at the first
// window; Qt's own texts (standard buttons, file dialogs) speak the user's
// language, once per application: the host may not have loaded them.
void TakeTheUsersLocale() {
  [[maybe_unused]] static const bool numbers = [] {
    const QLocale locale = QLocale::system();
    SetNumberFormat({locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()});
    return true;
  }();
  QCoreApplication* app = QCoreApplication::instance();
  constexpr char kLoaded[] = "qx25QtTranslations";
  if (!app || app->property(kLoaded).toBool()) return;
  app->setProperty(kLoaded, true);
  auto* translator = new QTranslator(app);
  if (translator->load(QLocale::system(), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;  // English is what Qt speaks without one
}

bool HeaderFits(const QFont& Font) {
  for (int col = 0; col < TParamModel::ColumnCount; ++col) {
    const QString caption = QString::fromStdString(qx25::ui::HeaderCaption(col));
    if (QFontMetrics(Font).horizontalAdvance(caption) + kHeaderPadding > kColumnWidths[col])
      return false;
  }
  return true;
}

QTimer* NamedTimer(QObject* Parent, const char* Name, int IntervalMs, bool SingleShot) {
  auto* timer = new QTimer(Parent);
  timer->setObjectName(Name);
  timer->setInterval(IntervalMs);
  timer->setSingleShot(SingleShot);
  return timer;
}

}  // namespace

TParamFrm::TParamFrm(QWidget* Parent)
    : QDialog(Parent),
      Controls(std::make_unique<Ui::ParamFrm>()),
      GridModel(new TParamModel(this)),
      StatusTimer(NamedTimer(this, "Timer1", kStatusTimeoutMs, false)),
      EditorDelay(NamedTimer(this, "Timer2", kEditorDelayMs, true)),
      RunInputs(std::make_shared<qx25::ui::TRunInputs>()) {
  TakeTheUsersLocale();
  qx25::ui::UseFormFont(*this);
  Controls->setupUi(this);
  Ui::ParamFrm& c = *Controls;

  StatusPanel = new QLabel(c.StatusBar1);
  StatusPanel->setObjectName("StatusPanel");
  c.StatusBar1->addWidget(StatusPanel, 1);
  c.StatusBar1->setAutoFillBackground(true);

  for (int tab = 0; tab < qx25::ui::kTabCount; ++tab)
    c.TabControl1->Tabs()->addTab(QString::fromStdString(qx25::ui::TabCaption(tab)));
  c.TabControl1->Tabs()->setCurrentIndex(0);
  c.TabControl1->SetPage(c.RxDGCommon);

  c.RxDGCommon->setModel(GridModel);
  c.RxDGCommon->setItemDelegate(new TParamDelegate(this));
  for (int col = 0; col < TParamModel::ColumnCount; ++col)
    c.RxDGCommon->setColumnWidth(col, kColumnWidths[col]);
  // The captions fit their columns, narrowed like the buttons' if need be. A
  // lambda: a function pointer in std::function would export its type's
  // typeinfo from libqx25.so.
  QHeaderView& header = *c.RxDGCommon->horizontalHeader();
  header.setFont(qx25::ui::FittedFont(
      header.font(), [](const QFont& Font) { return HeaderFits(Font); }, false));

  c.AddrBtn->setIcon(qx25::ui::AddressGlyph());
  c.BitBtn1->setIcon(qx25::ui::CloseGlyph());
  c.CopyTool->setIcon(qx25::ui::CopyGlyph());
  c.PasteTool->setIcon(qx25::ui::PasteGlyph());
  c.ActionExit->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_X), QKeySequence(Qt::Key_Escape)});
  addAction(c.ActionExit);
  // Its caption's mnemonic: a tool bar's action has no accelerator of its own.
  c.PasteTool->setShortcut(QKeySequence::mnemonic(c.PasteTool->text()));
  // Tab reaches the tool buttons after the buttons beside them, and the tabs
  // before the grid they choose rows for.
  QWidget* chain = c.WriteBtn;
  for (QAction* tool : {c.CopyTool, c.PasteTool})
    if (QWidget* button = c.ToolBar1->widgetForAction(tool)) {
      button->setFocusPolicy(Qt::TabFocus);
      QWidget::setTabOrder(chain, button);
      chain = button;
    }
  QWidget::setTabOrder(chain, c.BitBtn1);
  QWidget::setTabOrder(c.BitBtn1, c.TabControl1->Tabs());
  QWidget::setTabOrder(c.TabControl1->Tabs(), c.RxDGCommon);
  c.RxDGCommon->setTabKeyNavigation(false);  // the arrows move between cells; Tab moves on
  for (QWidget* editor : Editors()) editor->installEventFilter(this);

  connect(c.ActionExit, &QAction::triggered, this, &TParamFrm::ActionExitExecute);
  connect(c.BitBtn1, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(c.TabControl1, &TTabControl::Change, this, &TParamFrm::TabControl1Change);
  connect(c.RxDGCommon, &TRXDrawGrid::ColumnSized, this, &TParamFrm::RxDGCommonColumnSized);
  connect(c.RxDGCommon, &TRXDrawGrid::CellMouseMove, this, &TParamFrm::RxDGCommonMouseMove);
  connect(c.RxDGCommon, &TRXDrawGrid::Enter, this, &TParamFrm::RxDGCommonEnter);
  connect(c.RxDGCommon, &TRXDrawGrid::SelectCellEvent, this, &TParamFrm::RxDGCommonSelectCell);
  connect(c.RxDGCommon, &TRXDrawGrid::CellDblClick, this, &TParamFrm::RxDGCommonDblClick);
  connect(c.RxDGCommon, &TRXDrawGrid::CellDblClick, this, &TParamFrm::ReopenEditor);
  connect(c.RxDGCommon, &TRXDrawGrid::CellOpen, this, &TParamFrm::ReopenEditor);
  // Scrolls and rows that change their height move the editor with its row.
  for (QScrollBar* bar : {c.RxDGCommon->verticalScrollBar(), c.RxDGCommon->horizontalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, &TParamFrm::FollowEditorRow);
  for (QHeaderView* sized : {c.RxDGCommon->verticalHeader(), c.RxDGCommon->horizontalHeader()})
    connect(sized, &QHeaderView::sectionResized, this, &TParamFrm::FollowEditorRow,
            Qt::QueuedConnection);
  connect(StatusTimer, &QTimer::timeout, this, &TParamFrm::Timer1Timer);
  connect(EditorDelay, &QTimer::timeout, this, &TParamFrm::Timer2Timer);
  connect(c.Button1, &QAbstractButton::clicked, this, &TParamFrm::Button1Click);
  connect(c.WriteBtn, &QAbstractButton::clicked, this, &TParamFrm::WriteBtnClick);
  connect(c.SaveBtn, &QAbstractButton::clicked, this, &TParamFrm::SaveBtnClick);
  connect(c.LoadBtn, &QAbstractButton::clicked, this, &TParamFrm::LoadBtnClick);
  connect(c.CopyTool, &QAction::triggered, this, &TParamFrm::CopyToolClick);
  connect(c.PasteTool, &QAction::triggered, this, &TParamFrm::PasteToolClick);
  connect(c.AddrBtn, &QAbstractButton::clicked, this, &TParamFrm::AddrBtnClick);
  // Every text, not only those the box takes as its value: a run follows what the field shows.
  for (TTypedIntegerBox* edit : {c.ComPortEdit, c.AddrEdit})
    connect(edit, &TTypedIntegerBox::Edited, this, &TParamFrm::TargetEdited);
  qx25::ui::FinishFixedDialog(*this, kClientSize);
}

TParamFrm::~TParamFrm() {
  // The owner, and perhaps the driver, is going: the runs stop after the exchange in flight.
  RunInputs->Stop();
  while (!Workers.isEmpty()) WorkerEnded(Workers.first());
  if (ParamWindow == this) ParamWindow = nullptr;
  ReleaseCatalog();
}

void TParamFrm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous() && !GridReady) FormShow();
}

void TParamFrm::done(int Result) {
  FormClose();
  QDialog::done(Result);
}

void TParamFrm::FormClose() {
  if (Closed) return;
  Closed = true;
  // A running worker still fills this catalog; it goes with the window then.
  if (Workers.isEmpty()) ReleaseCatalog();
  if (TrkParameters == Parameters.get()) TrkParameters = nullptr;
}

void TParamFrm::ActionExitExecute() { close(); }

void TParamFrm::FormShow() {
  Controls->AddrBtn->setEnabled(Driver != nullptr);
  try {
    auto catalog = std::make_unique<CTRKParameters>();
    catalog->Fill();
    Parameters = std::move(catalog);
    TrkParameters = Parameters.get();
    GridModel->SetCatalog(Parameters.get());
    RunInputs->Publish(ReadTarget().OrNoLine(), Catalog());
    GridReady = true;
    ApplyTabFilter(Controls->TabControl1->TabIndex());
  } catch (const std::exception&) {
    // The window then shows whatever the grid holds.
  }
}

void TParamFrm::ReleaseCatalog() {
  GridModel->SetCatalog(nullptr);
  if (TrkParameters == Parameters.get()) TrkParameters = nullptr;
  Parameters.reset();
  RunInputs->Publish(nullptr);
  GridReady = false;
}

qx25::ui::TTargetRead TParamFrm::ReadTarget() const {
  return qx25::ui::ReadTarget(Driver, Controls->ComPortEdit->text().toStdString(),
                              Controls->AddrEdit->text().toStdString());
}

std::optional<qx25::ui::TTarget> TParamFrm::RequestTarget() {
  const qx25::ui::TTargetRead target = ReadTarget();
  if (!target) ShowStatus({target.Refusal, TStatusColour::Failure, {}});
  return target.Target;
}

void TParamFrm::TargetEdited() {
  const qx25::ui::TTargetRead target = ReadTarget();
  // A run in progress sends nothing more until the fields read again, and says why.
  RunInputs->SetTarget(target.OrNoLine());
  if (!target && !Workers.isEmpty()) ShowStatus({target.Refusal, TStatusColour::Failure, {}});
}

QString TParamFrm::DescriptionText(int Row) const {
  const CParameter* p = RecordOfRow(Row);
  return p ? QString::fromStdString(qx25::ui::DescriptionText(*p)) : QString();
}

QString TParamFrm::LimitsText(int Row) const {
  const CParameter* p = RecordOfRow(Row);
  return p ? QString::fromStdString(qx25::ui::LimitsText(*p)) : QString();
}

int TParamFrm::RowHeightFor(int Row) const {
  const TRXDrawGrid* grid = Controls->RxDGCommon;
  auto height = [&](const QString& Text, int Col) {
    // The width the delegate draws in: the column less its grid line.
    return WrappedHeight(grid->font(), grid->columnWidth(Col) - (grid->showGrid() ? 1 : 0),
                         LaidOut(Text));
  };
  return qx25::ui::RowHeight(height(DescriptionText(Row), TParamModel::ColName),
                             height(LimitsText(Row), TParamModel::ColLimits),
                             ValueBoxHeight(grid->font()), EditorHeight());
}

void TParamFrm::ApplyTabFilter(int Tab) {
  if (!GridReady || !Parameters) return;
  TRXDrawGrid* grid = Controls->RxDGCommon;
  for (int row = grid->RowCount(); row >= 1; --row)
    grid->SetRowHeight(
        row, qx25::ui::ShownOnTab(Parameters->Items(row - 1), Tab) ? RowHeightFor(row) : -1);
}

void TParamFrm::RxDGCommonEnter() {
  if (!Parameters) return;
  TRXDrawGrid* grid = Controls->RxDGCommon;
  const std::optional<int> row =
      qx25::ui::CurrentRowOnTab(*Parameters, Controls->TabControl1->TabIndex(), grid->Row() - 1);
  if (row && *row != grid->Row() - 1) grid->SetCurrentCell(grid->Col(), *row + 1);
}

void TParamFrm::RxDGCommonColumnSized() { ApplyTabFilter(Controls->TabControl1->TabIndex()); }

void TParamFrm::RxDGCommonMouseMove(int Col, int Row, QPoint Global) {
  TRXDrawGrid* grid = Controls->RxDGCommon;
  const QString hint = GridModel->index(Row - 1, Col).data(Qt::ToolTipRole).toString();
  grid->setToolTip(hint);
  if (hint.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(Global, hint, grid);
}

void TParamFrm::RepaintGrid() { GridModel->Repaint(); }

void TParamFrm::SetStatus(const std::string& Message) {
  StatusPanel->setText(QString::fromStdString(Message));
}

void TParamFrm::SetStatusColour(TStatusColour NewColour) {
  Colour = NewColour;
  QStatusBar* bar = Controls->StatusBar1;
  QPalette palette = bar->parentWidget()->palette();
  if (NewColour != TStatusColour::Normal)
    palette.setColor(QPalette::Window,
                     NewColour == TStatusColour::Success ? kStatusSuccess : kStatusFailure);
  bar->setPalette(palette);
}

void TParamFrm::ShowStatus(const qx25::ui::TStatus& Status) {
  if (Status.Colour != TStatusColour::Normal) SetStatusColour(Status.Colour);
  SetStatus(Status.Message);
  const bool messageAsHint = Status.Detail.empty() && Status.Colour != TStatusColour::Normal;
  StatusPanel->setToolTip(QString::fromStdString(messageAsHint ? Status.Message : Status.Detail));
  StatusTimer->start();
}

void TParamFrm::Timer1Timer() {
  SetStatusColour(TStatusColour::Normal);
  StatusTimer->stop();
}

void TParamFrm::Button1Click() { StartWorker(qx25::ui::TBulk::Read); }

void TParamFrm::WriteBtnClick() { StartWorker(qx25::ui::TBulk::Write); }

void TParamFrm::StartWorker(qx25::ui::TBulk Kind) {
  TParamsTread*& running = Kind == qx25::ui::TBulk::Read ? ReadParamsThread : WriteParamsThread;
  // A run of this window's or of one just closed still goes: say so.
  if (running) return SetStatus(qx25::ui::BusyText(Kind));
  const std::optional<qx25::ui::TTarget> target = RequestTarget();
  if (!target) return;
  TParamsTread* worker = running = new TParamsTread(Kind, RunInputs);
  Workers.append(worker);
  TallyOf(Kind).emplace(Kind, Catalog());
  if (Kind == qx25::ui::TBulk::Write) GridModel->SetLeftOut(&*WriteTally);
  RunInputs->Resume(Kind);
  RunInputs->Publish(*target, Catalog());  // records may have been changed in place since
  connect(worker, &TParamsTread::RowDone, this, &TParamFrm::ApplyRow, Qt::QueuedConnection);
  connect(worker, &QThread::finished, this, [this, worker] { WorkerEnded(worker); });
  worker->start();
}

void TParamFrm::ApplyRow(const qx25::ui::TRowResult& Result) {
  if (std::optional<qx25::ui::TRunTally>& tally = TallyOf(Result.Kind)) tally->Take(Result);
  const qx25::ui::TRowNews news = qx25::ui::TakeRowResult(Parameters.get(), *RunInputs, Result);
  if (news.Status && news.Status->Colour == TStatusColour::Failure)
    ShowStatus(*news.Status);
  else if (news.Status)
    SetStatus(news.Status->Message);
  if (news.ReadRow) GridModel->RepaintValues(*news.ReadRow);
  if (Result.Kind == qx25::ui::TBulk::Write) GridModel->RepaintValues(Result.Row);
}

void TParamFrm::WorkerEnded(TParamsTread* Worker) {
  if (!Workers.removeOne(Worker)) return;  // already ended by StopWriteRun
  const qx25::ui::TBulk kind =
      Worker == WriteParamsThread ? qx25::ui::TBulk::Write : qx25::ui::TBulk::Read;
  if (ReadParamsThread == Worker) ReadParamsThread = nullptr;
  if (WriteParamsThread == Worker) WriteParamsThread = nullptr;
  Worker->wait();
  delete Worker;
  if (RunInputs->Stopped()) return;  // the window is going
  // Its last rows, queued before it ended, count in the summary.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  if (const std::optional<qx25::ui::TRunTally>& tally = TallyOf(kind)) {
    RunEnded(*tally, true);
    if (ParamWindow && ParamWindow != this) ParamWindow->RunEnded(*tally, false);
  }
  if (Dismissed && Workers.isEmpty()) deleteLater();
}

void TParamFrm::RunEnded(const qx25::ui::TRunTally& Tally, bool Own) {
  // Another window's run only replaces the busy text that spoke of it.
  if (!Own && StatusPanel->text() != QString::fromStdString(qx25::ui::BusyText(Tally.Kind())))
    return;
  const qx25::ui::TStatus summary = Tally.Summary();
  // It stays, in its colour, until the next news.
  StatusTimer->stop();
  SetStatusColour(summary.Colour);
  SetStatus(summary.Message);
  StatusPanel->setToolTip(QString::fromStdString(summary.Message));
  GridModel->Repaint();
}

QString TParamFrm::WriteRunProgress() const {
  for (TParamsTread* worker : Workers)
    if (worker == WriteParamsThread && WriteTally)
      return QString::fromStdString(WriteTally->Progress());
  return {};
}

QString TParamFrm::StopWriteRun() {
  TParamsTread* const worker = WriteParamsThread;
  if (!worker || !Workers.contains(worker) || !WriteTally) return {};
  RunInputs->Stop(qx25::ui::TBulk::Write);
  WorkerEnded(worker);
  return QString::fromStdString(WriteTally->StoppedText());
}

void TParamFrm::Dismiss() {
  Dismissed = true;
  if (Workers.isEmpty())
    delete this;
  else
    hide();
}

std::array<QWidget*, 3> TParamFrm::Editors() const {
  return {Controls->WriteValueEdit, Controls->WriteValueEdit2, Controls->WriteValueCB};
}

int TParamFrm::EditorHeight() const {
  return std::max(Controls->WriteValueEdit->sizeHint().height(),
                  Controls->WriteValueCB->sizeHint().height());
}
