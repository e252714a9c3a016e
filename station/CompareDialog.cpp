#include "CompareDialog.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ConsoleWords.h"
#include "PollerSet.h"
#include "LineListModel.h"
#include "NozzlePanel.h"
#include "params/ParameterFile.h"

namespace qx25::station {

namespace {

enum Column { kCode, kCaption, kController, kFile, kUnits, kColumns };
const QColor kUnreadColour(255, 224, 178);  // the console's colour of a refusal
const QSize kInitialSize{980, 560};
constexpr char kNotInFile[] = "(нет в файле)";

QString Text(const std::string& Utf8) { return QString::fromStdString(Utf8); }

// Parameter files start where the service window keeps them.
QString SettingsDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + '/' +
         QString::fromUtf8(kSettingsSubdirectory);
}

// Wider value texts (a value outside the limits, with the limit) are cut,
// and whole in the cell's tool tip.
constexpr int kMaxValueWidth = 320;

QTableWidgetItem* Cell(const QString& Text) {
  auto* item = new QTableWidgetItem(Text);
  item->setToolTip(Text);
  return item;
}

}  // namespace

CompareDialog::CompareDialog(const std::vector<NozzleConfig>& Nozzles, PollerSet& Lines,
                             QWidget* Parent)
    : QDialog(Parent), Choices(Nozzles), Pollers(Lines) {
  setObjectName(QStringLiteral("CompareDialog"));
  setWindowTitle(QStringLiteral("Сравнение параметров контроллера с файлом"));
  setAttribute(Qt::WA_DeleteOnClose);
  Catalog.Fill();

  NozzleBox = new QComboBox(this);
  NozzleBox->setObjectName(QStringLiteral("CompareNozzleBox"));
  // A nozzle's parameters are read where its side 1 is addressed: network
  // address = the nozzle's number.
  for (const NozzleConfig& n : Choices)
    NozzleBox->addItem(NozzleTitle(n) + QStringLiteral(" (адрес %1)").arg(n.Nozzle));
  FileEdit = new QLineEdit(this);
  FileEdit->setObjectName(QStringLiteral("CompareFileEdit"));
  FileEdit->setPlaceholderText(QStringLiteral("файл параметров (.par)"));
  auto* browse = new QPushButton(QStringLiteral("Выбрать…"), this);
  browse->setObjectName(QStringLiteral("CompareBrowseBtn"));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(FileEdit, 1);
  fileRow->addWidget(browse);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Контроллер"), NozzleBox);
  form->addRow(QStringLiteral("Файл"), fileRow);

  StartBtn = new QPushButton(QStringLiteral("Сравнить"), this);
  StartBtn->setObjectName(QStringLiteral("CompareStartBtn"));
  StartBtn->setDefault(true);
  StopBtn = new QPushButton(QStringLiteral("Прервать"), this);
  StopBtn->setObjectName(QStringLiteral("CompareStopBtn"));
  StopBtn->setEnabled(false);
  SettingsOnly = new QCheckBox(QStringLiteral("Только настройки"), this);
  SettingsOnly->setObjectName(QStringLiteral("SettingsOnlyBox"));
  SettingsOnly->setToolTip(
      QStringLiteral("Без счётчиков и показаний, которые на работающей станции меняются всегда"));
  Progress = new QProgressBar(this);
  Progress->setObjectName(QStringLiteral("CompareProgress"));
  Progress->setFormat(QStringLiteral("%v из %m"));
  Progress->setValue(0);
  Progress->hide();  // until there is something to count
  auto* actions = new QHBoxLayout;
  actions->addWidget(StartBtn);
  actions->addWidget(StopBtn);
  actions->addWidget(SettingsOnly);
  actions->addWidget(Progress, 1);

  Doing = new QLabel(this);
  Doing->setObjectName(QStringLiteral("CompareDoingLabel"));
  Result = new QLabel(this);
  Result->setObjectName(QStringLiteral("CompareResultLabel"));
  Result->setWordWrap(true);
  Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Rows = new QTableWidget(0, kColumns, this);
  Rows->setObjectName(QStringLiteral("CompareTable"));
  Rows->setHorizontalHeaderLabels({QStringLiteral("Код"), QStringLiteral("Параметр"),
                                   QStringLiteral("Контроллер"), QStringLiteral("Файл"),
                                   QStringLiteral("Ед. изм.")});
  Rows->verticalHeader()->hide();
  Rows->verticalHeader()->setDefaultSectionSize(Rows->fontMetrics().height() + 6);
  Rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Rows->setSelectionBehavior(QAbstractItemView::SelectRows);
  Rows->setWordWrap(false);
  Rows->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Rows->horizontalHeader()->setSectionResizeMode(kCaption, QHeaderView::Stretch);

  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addLayout(actions);
  column->addWidget(Doing);
  column->addWidget(Result);
  column->addWidget(Rows, 1);

  connect(browse, &QPushButton::clicked, this, &CompareDialog::AskForFile);
  connect(StartBtn, &QPushButton::clicked, this, &CompareDialog::StartComparing);
  connect(StopBtn, &QPushButton::clicked, this,
          [this] { Stop(QStringLiteral("не опрошен: сравнение прервано")); });
  // The codes read stay; the box only chooses which of them are shown.
  connect(SettingsOnly, &QCheckBox::toggled, this, [this] {
    if (!Running() && !Controller.empty()) ShowResult();
  });
  resize(kInitialSize);
}

void CompareDialog::SelectNozzle(int Port, int Nozzle) {
  for (size_t i = 0; i < Choices.size(); ++i)
    if (Choices[i].Port == Port && Choices[i].Nozzle == Nozzle)
      NozzleBox->setCurrentIndex(static_cast<int>(i));
}

void CompareDialog::SetFile(const QString& Path) { FileEdit->setText(Path); }

QString CompareDialog::ResultText() const { return Result->text(); }

void CompareDialog::AskForFile() {
  QDir().mkpath(SettingsDirectory());
  // Window-modal, so the forecourt stays in command while a file is chosen.
  auto* dialog = new QFileDialog(this, QStringLiteral("Файл для сравнения"), SettingsDirectory(),
                                 QStringLiteral("Файлы параметров (*.par);;Все файлы (*)"));
  dialog->setObjectName(QStringLiteral("CompareFileDialog"));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::fileSelected, this, &CompareDialog::SetFile);
  dialog->open();
}

// Why the file cannot be compared with; empty when it can. A file that is no
// parameter file would show every code as differing, which tells nothing.
QString CompareDialog::FileTrouble(const QString& Path) {
  if (Path.trimmed().isEmpty()) return QStringLiteral("Выберите файл параметров.");
  if (!QFileInfo::exists(Path)) return QStringLiteral("Файл не найден: %1").arg(Path);
  const TIniFile ini(QFile::encodeName(Path).toStdString());
  if (!ini.Problem().empty())
    return QStringLiteral("Файл не прочитан: %1 (%2)").arg(Path, Text(ini.Problem()));
  if (!ini.SectionExists(kParameterSection))
    return QStringLiteral("В файле %1 нет раздела [%2]: это не файл параметров.")
        .arg(Path, QString::fromUtf8(kParameterSection));
  FileValues = params::ValuesOfFile(ini, Catalog);
  return {};
}

void CompareDialog::StartComparing() {
  if (Running()) return;
  Rows->setRowCount(0);
  Controller.clear();
  Doing->clear();
  const int choice = NozzleBox->currentIndex();
  if (choice < 0 || static_cast<size_t>(choice) >= Choices.size()) {
    SetResult(QStringLiteral("Нет колонки, контроллер которой можно прочитать."), true);
    emit Finished();
    return;
  }
  const QString trouble = FileTrouble(FileEdit->text());
  if (!trouble.isEmpty()) {
    SetResult(trouble, true);
    emit Finished();
    return;
  }
  const NozzleConfig& nozzle = Choices[static_cast<size_t>(choice)];
  Poller = Pollers.Poller(nozzle.Port);
  if (Poller == nullptr) {
    SetResult(QStringLiteral("Линия %1 не опрашивается.").arg(PortName(nozzle.Port)), true);
    emit Finished();
    return;
  }
  static quint64 tickets = 0;
  Ticket = ++tickets;
  ReadNozzle = nozzle.Nozzle;
  Controller.assign(static_cast<size_t>(Catalog.Count()), std::nullopt);
  Unread.clear();
  InARow = 0;
  int total = 0;
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) total += params::Compared(Catalog, i, false);
  Progress->setRange(0, total);
  Progress->show();
  Progress->setValue(0);
  connect(Poller, &PortPoller::ParameterRead, this, &CompareDialog::Take, Qt::UniqueConnection);
  StartBtn->setEnabled(false);
  NozzleBox->setEnabled(false);
  StopBtn->setEnabled(true);
  SetResult(QStringLiteral("Чтение параметров контроллера…"), false);
  Next = kBulkFirst;
  Ask();
}

void CompareDialog::Ask() {
  while (Next < Catalog.Count() && !params::Compared(Catalog, Next, false)) ++Next;
  if (Next >= Catalog.Count() || Poller == nullptr) {
    Finish();
    return;
  }
  const CParameter& p = Catalog.Items(Next);
  Doing->setText(QStringLiteral("Код %1: %2").arg(p.Code).arg(Text(p.Caption)));
  const ParameterQuery query{ReadNozzle, p.Code, Ticket};
  PortPoller* poller = Poller;
  QMetaObject::invokeMethod(poller, [poller, query] { poller->ReadParameter(query); });
}

void CompareDialog::Take(const ParameterAnswer& Answer) {
  if (Answer.Query.Ticket != Ticket || !Running()) return;
  const auto index = static_cast<size_t>(Next);
  if (Answer.Value) {
    Controller[index] = Answer.Value;
    InARow = 0;
  } else {
    const StatusMeaning status = PortStatusMeaning(Answer.PortStatus);
    if (!Answer.Error.isEmpty())
      Unread[Next] = Answer.Error;
    else if (status.Kind == StatusKind::Accepted)
      Unread[Next] = QStringLiteral("ответ без значения");
    else
      Unread[Next] = status.Text;
    // A refusal comes from a controller that answers; only silence counts.
    InARow = status.Kind == StatusKind::Refused ? 0 : InARow + 1;
  }
  Progress->setValue(Progress->value() + 1);
  ++Next;
  if (InARow >= params::kMaxLineFailuresInARow) {
    Stop(QStringLiteral("не опрошен: контроллер не отвечает"));
    return;
  }
  Ask();
}

// The codes not asked yet are marked with Why, and the comparison ends.
void CompareDialog::Stop(const QString& Why) {
  if (!Running()) return;
  for (int i = Next; i < Catalog.Count(); ++i)
    if (params::Compared(Catalog, i, false)) Unread[i] = Why;
  Finish();
}

void CompareDialog::Finish() {
  Next = -1;
  Doing->clear();
  StartBtn->setEnabled(true);
  NozzleBox->setEnabled(true);
  StopBtn->setEnabled(false);
  ShowResult();
  emit Finished();
}

void CompareDialog::ShowResult() {
  const bool settings = SettingsOnly->isChecked();
  const params::TComparison c =
      params::CompareValues(Catalog, Controller, FileValues, settings, true);
  std::map<int, std::pair<QString, QString>> shown;  // index -> controller, file
  const auto fileText = [this](int I) {
    const std::optional<int64_t>& v = FileValues[static_cast<size_t>(I)];
    return v ? Text(params::ValueText(&Catalog.Items(I), *v, params::kRussianValueWords))
             : QString::fromUtf8(kNotInFile);
  };
  for (const params::TDifference& d : c.Differ)
    shown[d.Index] = {
        Text(params::ValueText(&Catalog.Items(d.Index), *d.First, params::kRussianValueWords)),
        fileText(d.Index)};
  int unread = 0;
  for (const auto& [index, why] : Unread) {
    if (!params::Compared(Catalog, index, settings)) continue;
    shown[index] = {QStringLiteral("не прочитан: ") + why, fileText(index)};
    ++unread;
  }
  Rows->setRowCount(0);
  for (const auto& [index, texts] : shown) {
    const CParameter& p = Catalog.Items(index);
    const int row = Rows->rowCount();
    Rows->insertRow(row);
    Rows->setItem(row, kCode, Cell(QString::number(p.Code)));
    Rows->setItem(row, kCaption, Cell(Text(p.Caption)));
    Rows->setItem(row, kController, Cell(texts.first));
    Rows->setItem(row, kFile, Cell(texts.second));
    Rows->setItem(row, kUnits, Cell(Text(p.Units)));
    if (Unread.count(index) != 0)
      for (int column = 0; column < kColumns; ++column)
        Rows->item(row, column)->setBackground(kUnreadColour);
  }
  Rows->resizeColumnToContents(kCode);
  for (const int column : {kController, kFile}) {
    Rows->resizeColumnToContents(column);
    Rows->setColumnWidth(column, std::min(Rows->columnWidth(column), kMaxValueWidth));
  }

  const QString file = QFileInfo(FileEdit->text()).fileName();
  if (c.Compared == 0) {
    const QString why = Unread.empty() ? QString() : Unread.begin()->second;
    SetResult(QStringLiteral("Контроллер колонки %1 не ответил (%2): сравнить не с чем.")
                  .arg(ReadNozzle)
                  .arg(why),
              true);
    return;
  }
  // "All equal" only when every code was read.
  QString text = c.Differ.empty() && unread > 0
                     ? QStringLiteral("Прочитанные параметры совпадают с файлом %1: %2.")
                           .arg(file)
                           .arg(c.Compared)
                 : c.Differ.empty()
                     ? QStringLiteral("Совпадают с файлом %1 все параметры контроллера: %2.")
                           .arg(file)
                           .arg(c.Compared)
                     : QStringLiteral("Отличаются от файла %1: %2 из %3 параметров.")
                           .arg(file)
                           .arg(c.Differ.size())
                           .arg(c.Compared);
  if (unread > 0)
    text +=
        QStringLiteral(" Не прочитано: %1 (отмечены в таблице), они не сравнивались.").arg(unread);
  SetResult(text, unread > 0);
}

void CompareDialog::SetResult(const QString& Line, bool Trouble) {
  Result->setText(Line);
  Result->setStyleSheet(Trouble ? QStringLiteral("color: #a04000;") : QString());
}

CompareDialog* OpenCompareDialog(const std::vector<NozzleConfig>& Nozzles, PollerSet& Lines,
                                 QWidget& Window) {
  auto* dialog = new CompareDialog(Nozzles, Lines, &Window);
  dialog->setWindowFlag(Qt::Window);
  dialog->show();
  return dialog;
}

}  // namespace qx25::station
