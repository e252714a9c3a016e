#include "NozzlePanel.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "AmountBox.h"
#include "Confirm.h"
#include "ConsoleWords.h"
#include "DeliveryChart.h"
#include "ElidedLabel.h"
#include "LineListModel.h"
#include "serial/SerialDispatcher.h"
#include "driver/protocol/Digits.h"
#include "driver/HostContract.h"
#include "params/NumberText.h"

namespace qx25::station {

namespace {

// The preset and price limits are the driver's (driver/HostContract.h); a
// dose in money is checked by the driver against its price, so its box only
// needs room for the largest amount a preset at the highest price comes to.
constexpr double kMaxPresetMoney = 9999999.99;
constexpr int kMoneyDecimals = 2;
constexpr double kDefaultPreset = 10;
constexpr double kDefaultPrice = 50;
constexpr int kPanelWidth = 410;
// The frame of the chosen panel and of the control in focus; the gap is
// between a control and its frame, within the layout's spacing.
constexpr int kMarkWidth = 2;
constexpr int kMarkGap = 2;

const QString kNoFigure = QStringLiteral("—");
// A line held because another device, or other controllers, answer on it.
const QString kOtherDeviceWord = SerialErrorWords(serial::kSerialOtherDevice);
const QString kOtherDeviceNotSent = QStringLiteral("не отправлена: ") + kOtherDeviceWord;

const QColor kAccepted{0x00, 0x70, 0x00};
const QColor kRefused{0xC0, 0x60, 0x00};
const QColor kFailed{0xB0, 0x00, 0x00};

QColor ColourOf(StatusKind Kind) {
  switch (Kind) {
    case StatusKind::Accepted:
      return kAccepted;
    case StatusKind::Refused:
      return kRefused;
    case StatusKind::LineFailure:
      return kFailed;
    case StatusKind::None:
      break;
  }
  return QColor(Qt::black);
}

// Every poll repaints the labels; a palette set only on a change keeps that cheap.
void Paint(QLabel* Label, const QColor& Colour) {
  if (Label->palette().color(QPalette::WindowText) == Colour) return;
  QPalette palette = Label->palette();
  palette.setColor(QPalette::WindowText, Colour);
  Label->setPalette(palette);
}

QLabel* NamedLabel(const QString& Name, QWidget* Parent) {
  auto* label = new QLabel(Parent);
  label->setObjectName(Name);
  return label;
}

QPushButton* NamedButton(const QString& Name, const QString& Text, QWidget* Parent) {
  auto* button = new QPushButton(Text, Parent);
  button->setObjectName(Name);
  return button;
}

QString AmountsText(const qx25::station::Amounts& A) {
  return LitresText(A.Volume) + QStringLiteral(" · ") + MoneyText(A.Money);
}

}  // namespace

std::optional<MoneyDose> DoseForMoney(double Money, double Price) {
  const std::optional<double> asked = PresetVolumeForMoney(Money, Price);
  if (!asked) return std::nullopt;
  // Sent in whole litres, half to even; the money is the driver's for that volume.
  const double litres = std::nearbyint(*asked);
  const double money =
      std::nearbyint(litres * Price * kCentsPerUnit + kCentRoundingAddend) / kCentsPerUnit;
  return MoneyDose{litres, money};
}

QString NozzlePanelName(int Port, int Nozzle) {
  return QStringLiteral("NozzlePanel_%1_%2").arg(Port).arg(Nozzle);
}

QString LitresText(double Volume) { return QString::number(Volume, 'f', 0) + QStringLiteral(" л"); }
QString MoneyText(double Money) {
  constexpr int kAllDigits = 40;
  const auto cents = static_cast<int64_t>(std::llround(Money * kCentsPerUnit));
  // The user's decimal separator, as the price boxes have it; ungrouped, to
  // fit a tile.
  const TNumberFormat format{NumberFormat().DecimalSeparator, ""};
  return QString::fromStdString(
      params::FormatNumber(cents, kMoneyDecimals, kAllDigits, kMoneyDecimals, format));
}

QString MoneyText(const std::optional<double>& Money) {
  return Money ? MoneyText(*Money) : QStringLiteral("цена не задана");
}

QString CommandName(CommandKind Kind) {
  switch (Kind) {
    case CommandKind::SetPrice:
      return QStringLiteral("цена");
    case CommandKind::PresetVolume:
      return QStringLiteral("доза в литрах");
    case CommandKind::PresetMoney:
      return QStringLiteral("доза в деньгах");
    case CommandKind::Start:
      return QStringLiteral("пуск");
    case CommandKind::StartWithReset:
      return QStringLiteral("пуск со сбросом");
    case CommandKind::Stop:
      return QStringLiteral("стоп");
    case CommandKind::StopAndReset:
      return QStringLiteral("стоп и сброс");
  }
  return {};
}

QString NozzleTitle(const NozzleConfig& Nozzle) {
  QString title = PortName(Nozzle.Port);
  if (Nozzle.Dispenser > 0) title += QStringLiteral(" · ТРК %1").arg(Nozzle.Dispenser);
  return title + QStringLiteral(" · пистолет %1").arg(Nozzle.Nozzle);
}

NozzlePanel::NozzlePanel(const NozzleConfig& Config, QWidget* Parent)
    : QGroupBox(Parent), Nozzle(Config) {
  setObjectName(NozzlePanelName(Nozzle.Port, Nozzle.Nozzle));
  setTitle(NozzleTitle(Nozzle));
  // Panels keep their width when few, so that a row of them reads as a row.
  setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
  setMaximumWidth(kPanelWidth);
  auto* layout = new QVBoxLayout(this);

  State = NamedLabel(QStringLiteral("StateLabel"), this);
  QFont big = State->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.25);
  State->setFont(big);
  State->setText(NozzleStateText(0));
  layout->addWidget(State);

  auto* amounts = new QGridLayout;
  amounts->addWidget(new QLabel(QStringLiteral("Налив:"), this), 0, 0);
  Current = NamedLabel(QStringLiteral("CurrentLabel"), this);
  Current->setText(kNoFigure);
  amounts->addWidget(Current, 0, 1);
  amounts->addWidget(new QLabel(QStringLiteral("Итог:"), this), 1, 0);
  Final = NamedLabel(QStringLiteral("FinalLabel"), this);
  Final->setText(kNoFigure);
  amounts->addWidget(Final, 1, 1);
  // The totalizer of each side, under the delivery it counts.
  for (int side = 1; side <= Nozzle.Sides; ++side) {
    const QString caption =
        Nozzle.Sides == 1 ? QStringLiteral("Счётчик:") : QStringLiteral("Счётчик %1:").arg(side);
    amounts->addWidget(new QLabel(caption, this), 1 + side, 0);
    auto* total = NamedLabel(QStringLiteral("TotalLabel%1").arg(side), this);
    total->setText(kNoFigure);
    amounts->addWidget(total, 1 + side, 1);
    TotalLabels.push_back(total);
  }
  amounts->setColumnStretch(1, 1);
  layout->addLayout(amounts);
  Flow = new DeliveryChart(this);
  layout->addWidget(Flow);
  FlowClock.start();

  layout->addWidget(MakeSideRows());
  layout->addWidget(MakeCommandRows());

  // Two lines each, whatever they say: the buttons above keep their place.
  CommandStatus = new ElidedLabel(this);
  CommandStatus->setObjectName(QStringLiteral("CommandStatusLabel"));
  CommandStatus->SetText(QStringLiteral("Команда: —"));
  layout->addWidget(CommandStatus);
  PollStatus = new ElidedLabel(this);
  PollStatus->setObjectName(QStringLiteral("PollStatusLabel"));
  PollStatus->SetText(QStringLiteral("Опрос: —"));
  layout->addWidget(PollStatus);

  // Tab follows a sale: what is typed, the buttons that send it, start, stop.
  KeyOrder = {PresetEdit, PresetKindBox, SideBox};
  for (size_t s = 0; s < PriceEdits.size(); ++s) {
    KeyOrder.push_back(PriceEdits[s]);
    KeyOrder.push_back(PriceButtons[s]);
  }
  KeyOrder.push_back(PresetButton);
  KeyOrder.insert(KeyOrder.end(), CommandButtons.begin(), CommandButtons.end());
  for (size_t i = 1; i < KeyOrder.size(); ++i) setTabOrder(KeyOrder[i - 1], KeyOrder[i]);
  // A field's keys may reach its line edit first.
  for (QWidget* stop : KeyOrder) {
    stop->installEventFilter(this);
    if (auto* field = qobject_cast<AmountBox*>(stop))
      field->findChild<QLineEdit*>()->installEventFilter(this);
  }
}

QWidget* NozzlePanel::MakeSideRows() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  for (int side = 1; side <= Nozzle.Sides; ++side) {
    const int row = side - 1;
    const QString caption =
        Nozzle.Sides == 1 ? QStringLiteral("Цена") : QStringLiteral("Цена, сторона %1").arg(side);
    grid->addWidget(new QLabel(caption, box), row, 0);
    auto* price = new AmountBox(box);
    price->setObjectName(QStringLiteral("PriceEdit%1").arg(side));
    price->setDecimals(kMoneyDecimals);
    price->setRange(0, kMaxPrice);
    price->setValue(kDefaultPrice);
    grid->addWidget(price, row, 1);
    PriceEdits.push_back(price);
    SentPrices.emplace_back();
    RememberedPrices.emplace_back();
    auto* set = NamedButton(QStringLiteral("PriceBtn%1").arg(side), QStringLiteral("Задать"), box);
    connect(set, &QPushButton::clicked, this, [this, side] { AskPrice(side); });
    grid->addWidget(set, row, 2);
    PriceButtons.push_back(set);
  }
  grid->setColumnStretch(1, 1);
  return box;
}

QWidget* NozzlePanel::MakeCommandRows() {
  auto* box = new QWidget(this);
  auto* rows = new QVBoxLayout(box);
  rows->setContentsMargins(0, 0, 0, 0);

  auto* preset = new QHBoxLayout;
  auto* sideCaption = new QLabel(QStringLiteral("Сторона"), box);
  preset->addWidget(sideCaption);
  SideBox = new QComboBox(box);
  SideBox->setObjectName(QStringLiteral("SideBox"));
  for (int side = 1; side <= Nozzle.Sides; ++side) SideBox->addItem(QString::number(side), side);
  preset->addWidget(SideBox);
  // One side: nothing to choose.
  sideCaption->setVisible(Nozzle.Sides > 1);
  SideBox->setVisible(Nozzle.Sides > 1);
  preset->addWidget(new QLabel(QStringLiteral("Доза"), box));
  PresetEdit = new AmountBox(box);
  PresetEdit->setObjectName(QStringLiteral("PresetEdit"));
  preset->addWidget(PresetEdit, 1);
  PresetKindBox = new QComboBox(box);
  PresetKindBox->setObjectName(QStringLiteral("PresetKindBox"));
  PresetKindBox->insertItem(kPresetByVolume, QStringLiteral("литров"));
  PresetKindBox->insertItem(kPresetByMoney, QStringLiteral("денег"));
  preset->addWidget(PresetKindBox);
  // The controller takes whole litres in five digits, and money to the cent:
  // the editor holds what the chosen kind can carry.
  const auto fitKind = [this](int Kind) {
    const bool money = Kind == kPresetByMoney;
    PresetEdit->setDecimals(money ? kMoneyDecimals : 0);
    PresetEdit->setRange(0, money ? kMaxPresetMoney : static_cast<double>(kMaxPresetLitres));
  };
  connect(PresetKindBox, &QComboBox::currentIndexChanged, this, fitKind);
  fitKind(kPresetByVolume);
  PresetEdit->setValue(kDefaultPreset);
  auto* set = NamedButton(QStringLiteral("PresetBtn"), QStringLiteral("Задать"), box);
  connect(set, &QPushButton::clicked, this, [this] { AskPreset(); });
  preset->addWidget(set);
  PresetButton = set;
  rows->addLayout(preset);

  auto* buttons = new QGridLayout;
  const struct {
    const char* Name;
    const char* Text;
    CommandKind Kind;
  } kButtons[] = {
      {"StartBtn", "Пуск", CommandKind::Start},
      {"StartResetBtn", "Сброс и пуск", CommandKind::StartWithReset},
      {"StopBtn", "Стоп", CommandKind::Stop},
      {"StopResetBtn", "Стоп и сброс", CommandKind::StopAndReset},
  };
  // Starts on the left, stops on the right.
  int at = 0;
  for (const auto& b : kButtons) {
    auto* button = NamedButton(QString::fromUtf8(b.Name), QString::fromUtf8(b.Text), box);
    const CommandKind kind = b.Kind;
    if (kind == CommandKind::Stop) {
      StopButton = button;
      button->setToolTip(QStringLiteral("Остановить налив. F12 или Alt+С — стоп выбранного "
                                        "пистолета из любого места окна"));
    }
    const bool start = kind == CommandKind::Start || kind == CommandKind::StartWithReset;
    connect(button, &QPushButton::clicked, this, [this, kind, start] {
      if (start)
        AskPriced(kind);
      else
        Ask(kind);
    });
    buttons->addWidget(button, at % 2, at / 2);
    ++at;
  }
  // Tab reads them as the eye does, row by row: Пуск, Стоп, then the resets.
  for (int row = 0; row < buttons->rowCount(); ++row)
    for (int column = 0; column < buttons->columnCount(); ++column)
      if (QLayoutItem* item = buttons->itemAtPosition(row, column))
        CommandButtons.push_back(static_cast<QPushButton*>(item->widget()));
  rows->addLayout(buttons);
  return box;
}

int NozzlePanel::ChosenSide() const { return SideBox->currentData().toInt(); }

void NozzlePanel::Ask(CommandKind Kind, double Amount, int Side, std::optional<double> PriceFirst) {
  NozzleCommand command{Kind,   Nozzle.Port, Nozzle.Nozzle, Side > 0 ? Side : ChosenSide(),
                        Amount, PriceFirst};
  CommandStatus->SetText(QStringLiteral("Команда: %1 — выполняется").arg(CommandName(Kind)));
  Paint(CommandStatus, ColourOf(StatusKind::None));
  emit Command(command);
}

void NozzlePanel::Refuse(CommandKind Kind, const QString& Why) {
  CommandStatus->SetText(QStringLiteral("Команда: %1 — %2").arg(CommandName(Kind), Why));
  Paint(CommandStatus, ColourOf(StatusKind::Refused));
}

void NozzlePanel::Confirm(const QString& Text, const QString& Yes, std::function<void()> Then) {
  // A second question replaces the first: one answer a panel.
  if (Question) Question->close();
  Question =
      AskFirst(this, {QStringLiteral("ConfirmBox"), title(), Text, Yes, QStringLiteral("Отмена")},
               std::move(Then));
}

std::optional<double> NozzlePanel::TypedPrice(int Side, CommandKind Kind) {
  const params::TTypedValue typed = PriceEdits[static_cast<size_t>(Side - 1)]->Read();
  if (!typed) {
    Refuse(Kind, QStringLiteral("цена: ") + QString::fromStdString(typed.Refusal));
    return std::nullopt;
  }
  return static_cast<double>(*typed.Raw) / kCentsPerUnit;
}

void NozzlePanel::AskPreset() {
  const bool money = PresetKindBox->currentIndex() == kPresetByMoney;
  const CommandKind kind = money ? CommandKind::PresetMoney : CommandKind::PresetVolume;
  const std::optional<double> dose = PresetEdit->Typed();
  if (!dose) {
    Refuse(kind, QString::fromStdString(PresetEdit->Read().Refusal));
    return;
  }
  if (money)
    AskMoneyPreset(*dose);
  else
    Ask(kind, *dose);
}

void NozzlePanel::AskMoneyPreset(double Money) {
  const CommandKind kind = CommandKind::PresetMoney;
  const std::optional<double> price = TypedPrice(ChosenSide(), kind);
  if (!price) return;
  // A dose in money is litres at the price: without one there is nothing to count.
  if (*price <= 0) {
    Refuse(kind, QStringLiteral("цена не задана"));
    return;
  }
  const std::optional<MoneyDose> dose = DoseForMoney(Money, *price);
  if (!dose) {
    Refuse(kind, QStringLiteral("при этой цене доза больше %1 л").arg(kMaxPresetLitres));
    return;
  }
  if (dose->Litres < 1) {
    Refuse(kind, QStringLiteral("при этой цене доза меньше литра"));
    return;
  }
  const QString delivered = QStringLiteral("будет отпущено %1 на %2")
                                .arg(LitresText(dose->Litres), MoneyText(dose->Money));
  PresetNote = delivered;
  if (dose->Money == Money) {
    AskPriced(kind, Money);
    return;
  }
  // The controller counts whole litres: the operator hears what is left out.
  Confirm(QStringLiteral("Доза %1 при цене %2: %3 (доза в целых литрах). Задать?")
              .arg(MoneyText(Money), MoneyText(*price), delivered),
          QStringLiteral("Задать"), [this, kind, Money] { AskPriced(kind, Money); });
}

void NozzlePanel::AskPrice(int Side) {
  const std::optional<double> typed = TypedPrice(Side, CommandKind::SetPrice);
  if (!typed) return;
  const double price = *typed;
  if (price > 0) {
    Ask(CommandKind::SetPrice, price, Side);
    return;
  }
  Confirm(QStringLiteral("Цена 0.00: налив на стороне %1 пойдёт без денег. Задать?").arg(Side),
          QStringLiteral("Задать"), [this, Side] { Ask(CommandKind::SetPrice, 0, Side); });
}

void NozzlePanel::AskPriced(CommandKind Kind, double Amount) {
  const int side = ChosenSide();
  const std::optional<double> typed = TypedPrice(side, Kind);
  if (!typed) return;
  const double shown = *typed;
  const std::optional<double>& sent = SentPrices[static_cast<size_t>(side - 1)];
  // A dose in money is litres at the price: without one there is nothing to count.
  if (Kind == CommandKind::PresetMoney && shown <= 0) {
    Refuse(Kind, QStringLiteral("цена не задана"));
    return;
  }
  if (sent && *sent == shown) {
    Ask(Kind, Amount, side);
    return;
  }
  if (shown > 0) {
    Ask(Kind, Amount, side, shown);
    return;
  }
  Confirm(QStringLiteral("Цена стороны %1 — 0.00: налив пойдёт без денег. Пустить?").arg(side),
          QStringLiteral("Пустить"), [this, Kind, Amount, side] { Ask(Kind, Amount, side, 0.0); });
}

void NozzlePanel::RememberPrice(int Side, double Price) {
  if (Side < 1 || Side > static_cast<int>(PriceEdits.size())) return;
  PriceEdits[static_cast<size_t>(Side - 1)]->setValue(Price);
  RememberedPrices[static_cast<size_t>(Side - 1)] = Price;
}

std::optional<double> NozzlePanel::RememberedPrice(int Side) const {
  if (Side < 1 || Side > static_cast<int>(RememberedPrices.size())) return std::nullopt;
  return RememberedPrices[static_cast<size_t>(Side - 1)];
}

void NozzlePanel::SetChosen(bool Chosen) {
  IsChosen = Chosen;
  setTitle((Chosen ? QStringLiteral("► ") : QString()) + NozzleTitle(Nozzle));
  StopButton->setText(Chosen ? QStringLiteral("&Стоп") : QStringLiteral("Стоп"));
  update();
}

void NozzlePanel::FocusDose() {
  PresetEdit->setFocus(Qt::ShortcutFocusReason);
  PresetEdit->selectAll();
}

void NozzlePanel::StopNow() { Ask(CommandKind::Stop); }

void NozzlePanel::paintEvent(QPaintEvent* Event) {
  QGroupBox::paintEvent(Event);
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), kMarkWidth));
  painter.setBrush(Qt::NoBrush);
  const int half = kMarkWidth / 2;
  if (IsChosen) painter.drawRect(rect().adjusted(half, half, -half, -half));
  // The style's own focus mark is a hairline, or none until a key is
  // pressed: the control that takes the keys gets a frame in the gap around it.
  QWidget* focus = QApplication::focusWidget();
  for (QWidget* stop : KeyOrder) {
    if (focus == nullptr || (stop != focus && !stop->isAncestorOf(focus))) continue;
    const QRect at(stop->mapTo(this, QPoint(0, 0)), stop->size());
    painter.drawRect(at.adjusted(-kMarkGap, -kMarkGap, kMarkGap - 1, kMarkGap - 1));
  }
}

bool NozzlePanel::eventFilter(QObject* Watched, QEvent* Event) {
  const QEvent::Type type = Event->type();
  if (type == QEvent::FocusIn || type == QEvent::FocusOut) update();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
    return QGroupBox::eventFilter(Watched, Event);
  const int key = static_cast<QKeyEvent*>(Event)->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  auto* button = qobject_cast<QPushButton*>(Watched);
  if (button == nullptr && enter) {
    // The field's own Enter would put back the last value over a refused text.
    const auto in = [Watched](QWidget* Field) {
      return Watched == Field || Field->isAncestorOf(qobject_cast<QWidget*>(Watched));
    };
    QPushButton* sends = in(PresetEdit) ? PresetButton : nullptr;
    for (size_t s = 0; s < PriceEdits.size(); ++s)
      if (in(PriceEdits[s])) sends = PriceButtons[s];
    if (sends == nullptr) return QGroupBox::eventFilter(Watched, Event);
    if (type == QEvent::KeyPress) sends->click();
    return true;
  }
  if (button == nullptr) return QGroupBox::eventFilter(Watched, Event);
  if (key == Qt::Key_Space) return true;
  if (enter && type == QEvent::KeyPress) {
    button->click();
    return true;
  }
  return QGroupBox::eventFilter(Watched, Event);
}

bool NozzlePanel::Delivering() const { return IsDelivering(LastState) || IsHalted(LastState); }
bool NozzlePanel::Authorised() const { return IsAuthorised(LastState); }

QString NozzlePanel::StateText() const { return NozzleStateText(LastState); }

void NozzlePanel::ShowReading(const NozzleReading& Reading) {
  // The state and the curve follow every poll, shown or not: a quit asks by
  // the state, and a curve drawn later would lose its shape.
  // A poll that read no state (the merged state stays 0: an unread side is
  // not merged) leaves the last one standing.
  if (Reading.Poll.State != 0) LastState = Reading.Poll.State;
  const double now = static_cast<double>(FlowClock.elapsed()) / 1e3;
  if (Reading.Current) {
    if (FlowClosed) Flow->Restart();
    FlowClosed = false;
    Flow->Add(now, Reading.Current->Volume);
  }
  // The last running figure may fall short of the end: show where it ended.
  if (Reading.Final) {
    if (!FlowClosed) Flow->Add(now, Reading.Final->Volume);
    FlowClosed = true;
  }
  // The state in words too: it changes seldom, and a hidden panel still
  // says what its nozzle does. A failed poll read no state: the line is
  // what the operator needs to hear of, not "не опрошена".
  const bool lineFailed = !Reading.Error.isEmpty() ||
                          PortStatusMeaning(Reading.PortStatus).Kind == StatusKind::LineFailure;
  State->setText(!Reading.OtherDevice.isEmpty() ? kOtherDeviceWord
                 : lineFailed                   ? QStringLiteral("сбой линии")
                                : NozzleStateText(Reading.Poll.State, Reading.Poll.EventLetter));
  Keep(Reading);
  // Hidden by its holder, it writes its other labels when shown. A panel of its own
  // (no holder) always writes them.
  if (!isHidden() || parentWidget() == nullptr) ShowKept();
  emit ReadingShown(Reading);
}

void NozzlePanel::Keep(const NozzleReading& Reading) {
  Kept.Last = Reading;
  if (Reading.Current) Kept.Current = Reading.Current;
  if (Reading.Final) Kept.Current = Kept.Final = Reading.Final;
  if (Kept.Totals.size() < Reading.Totals.size()) Kept.Totals.resize(Reading.Totals.size());
  for (size_t s = 0; s < Reading.Totals.size(); ++s)
    if (Reading.Totals[s]) Kept.Totals[s] = Reading.Totals[s];
}

QSize NozzlePanel::minimumSizeHint() const {
  if (!isHidden()) return QGroupBox::minimumSizeHint();
  if (!HiddenMinimum.isValid()) HiddenMinimum = QGroupBox::minimumSizeHint();
  return HiddenMinimum;
}

void NozzlePanel::showEvent(QShowEvent* Event) {
  QGroupBox::showEvent(Event);
  ShowKept();
}

void NozzlePanel::ShowKept() {
  if (!Kept.Last) return;
  const NozzleReading& reading = *Kept.Last;
  // The merged state hides the other sides; the tip tells each.
  QStringList sides;
  for (int side = 1; side <= Nozzle.Sides && side <= kMaxSides; ++side)
    sides << QStringLiteral("Сторона %1: ").arg(side) +
                 NozzleStateText(reading.Poll.Codes[side - 1]);
  State->setToolTip(sides.join(QLatin1Char('\n')));
  if (Kept.Current) Current->setText(AmountsText(*Kept.Current));
  if (Kept.Final) Final->setText(AmountsText(*Kept.Final));
  for (size_t s = 0; s < Kept.Totals.size() && s < TotalLabels.size(); ++s)
    if (Kept.Totals[s]) TotalLabels[s]->setText(LitresText(*Kept.Totals[s]));
  const StatusMeaning status = PortStatusMeaning(reading.PortStatus);
  // The driver's own message (English, or the controller's jargon) is for the
  // tip; the label says in the console's words what happened.
  const bool failed = !reading.Error.isEmpty() || !reading.OtherDevice.isEmpty();
  if (!reading.OtherDevice.isEmpty())
    PollStatus->SetText(QStringLiteral("Опрос: остановлен — ") + kOtherDeviceWord,
                        reading.OtherDevice);
  else
    PollStatus->SetText(QStringLiteral("Опрос: ") + (failed && status.Kind != StatusKind::LineFailure
                                                       ? QStringLiteral("не выполнен")
                                                       : status.Text),
                      reading.Error);
  Paint(PollStatus, ColourOf(failed ? StatusKind::LineFailure : status.Kind));
  Kept = {};
  HiddenMinimum = {};
}

void NozzlePanel::ShowOutcome(const CommandOutcome& Outcome) {
  // What the polls found before the command goes first: a start clears it.
  ShowKept();
  const NozzleCommand& asked = Outcome.Command;
  if (asked.Side >= 1 && asked.Side <= static_cast<int>(SentPrices.size())) {
    std::optional<double>& sent = SentPrices[static_cast<size_t>(asked.Side - 1)];
    if (Outcome.PriceStored)
      sent = asked.PriceFirst;
    else if (asked.Kind == CommandKind::SetPrice && Outcome.Error.isEmpty())
      sent = asked.Amount;
    if (Outcome.PriceStored || (asked.Kind == CommandKind::SetPrice && Outcome.Error.isEmpty()))
      emit PriceGiven(asked.Side, *sent);
  }
  const StatusMeaning status = PortStatusMeaning(Outcome.PortStatus);
  QString text = QStringLiteral("Команда: %1 — ").arg(CommandName(Outcome.Command.Kind));
  // A command that stores only (the price) leaves the last exchange's status.
  // An error thrown before any exchange leaves the previous status, which
  // says nothing about this command; only a failed line is worth adding.
  if (!Outcome.OtherDevice.isEmpty())
    text += kOtherDeviceNotSent;
  else if (!Outcome.Error.isEmpty())
    text += status.Kind == StatusKind::LineFailure ? status.Text : QStringLiteral("не выполнена");
  else if (Outcome.Command.Kind == CommandKind::SetPrice)
    text += QStringLiteral("задана");
  else
    text += status.Text;
  if (Outcome.Command.Kind == CommandKind::PresetMoney && Outcome.Error.isEmpty() &&
      status.Kind == StatusKind::Accepted && !PresetNote.isEmpty())
    text += QStringLiteral(": ") + PresetNote;
  CommandStatus->SetText(text, Outcome.Error);
  const bool started = (Outcome.Command.Kind == CommandKind::Start ||
                        Outcome.Command.Kind == CommandKind::StartWithReset) &&
                       Outcome.Error.isEmpty() && status.Kind == StatusKind::Accepted;
  if (started) {
    // A new delivery: the last one's figures would mislead.
    Current->setText(kNoFigure);
    Final->setText(kNoFigure);
    FlowClosed = true;
  }
  const bool stored = Outcome.Command.Kind == CommandKind::SetPrice;
  Paint(CommandStatus, ColourOf(!Outcome.Error.isEmpty() ? StatusKind::LineFailure
                                : stored                 ? StatusKind::Accepted
                                                         : status.Kind));
  emit OutcomeShown(Outcome);
}

}  // namespace qx25::station
