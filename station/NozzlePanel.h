// The console's panel for one nozzle: its prices per side, a preset by volume
// or money, the start and stop buttons, and what the poller last found (the
// state in words, the current and final delivery, the totalizers, the port
// status of the last command). The panel only asks: every request goes out
// as a Command signal to the line's poller, and the answers come back through
// ShowReading and ShowOutcome.
//
// Child object names, for tests and tools: StateLabel, CurrentLabel,
// FinalLabel, DeliveryChart, PollStatusLabel, CommandStatusLabel, SideBox, PresetEdit,
// PresetKindBox, PresetBtn, StartBtn, StartResetBtn, StopBtn, StopResetBtn,
// and per side s: PriceEdit<s>, PriceBtn<s>, TotalLabel<s>.
#pragma once

#include <QElapsedTimer>
#include <QGroupBox>
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

#include "HostOptions.h"
#include "PortPoller.h"

class QComboBox;
class QLabel;
class QMessageBox;
class QPushButton;

namespace qx25::station {

class AmountBox;
class DeliveryChart;
class ElidedLabel;

// "NozzlePanel_3_1" for nozzle 1 on COM3.
QString NozzlePanelName(int Port, int Nozzle);
// "COM1 · ТРК 1 · пистолет 2": the panel's title, and the nozzle's name elsewhere.
QString NozzleTitle(const NozzleConfig& Nozzle);

// Preset kinds, in the order of PresetKindBox.
enum PresetKind { kPresetByVolume, kPresetByMoney };

class NozzlePanel : public QGroupBox {
  Q_OBJECT

 public:
  explicit NozzlePanel(const NozzleConfig& Nozzle, QWidget* Parent = nullptr);

  const NozzleConfig& Config() const { return Nozzle; }
  // A delivery is open on the nozzle (fuel flows, or a stop holds it), as the
  // last poll found it; with its state in words.
  bool Delivering() const;
  // A dose is set and the nozzle may start, as the last poll found it.
  bool Authorised() const;
  QString StateText() const;
  // The overview's stack of panels asks every panel's least size whenever the
  // shown one changes a label; a hidden panel's labels wait, so it answers
  // from what it measured last.
  QSize minimumSizeHint() const override;
  // A price kept from an earlier run: the box shows it, and the line gives
  // it to the driver before its first poll.
  void RememberPrice(int Side, double Price);
  std::optional<double> RememberedPrice(int Side) const;
  // The chosen nozzle's panel says so in its title and a frame in the
  // highlight colour, and its Stop button answers the mnemonic (one panel at
  // a time: no key is ambiguous).
  void SetChosen(bool Chosen);
  // The panel's controls in the order Tab visits them: what the operator
  // types (the dose, then the price), the buttons that send it, start, stop.
  const std::vector<QWidget*>& TabStops() const { return KeyOrder; }
  // Puts the keyboard in the dose field, its text selected for typing over.
  void FocusDose();
  // Stops the delivery, as the Stop button does.
  void StopNow();

 public slots:
  void ShowReading(const qx25::station::NozzleReading& Reading);
  void ShowOutcome(const qx25::station::CommandOutcome& Outcome);

 protected:
  void showEvent(QShowEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  // The panel's buttons: Space presses none of them (a slip of the thumb
  // must not start a pump), Enter presses the one in focus. Enter in the dose
  // or a price field presses the button that sends it. The control in focus
  // gets a frame of its own: where the keys go must show from afar.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 signals:
  void Command(const qx25::station::NozzleCommand& Command);
  // What the panel has just shown, for the forecourt overview's tile.
  void ReadingShown(const qx25::station::NozzleReading& Reading);
  void OutcomeShown(const qx25::station::CommandOutcome& Outcome);
  // The driver now holds Price for Side, as this panel gave it.
  void PriceGiven(int Side, double Price);

 private:
  void Ask(CommandKind Kind, double Amount = 0, int Side = 0,
           std::optional<double> PriceFirst = std::nullopt);
  // A start or a preset by money: the price shown goes first when the driver
  // does not have it yet; a price of 0 asks (a start) or refuses (money).
  void AskPriced(CommandKind Kind, double Amount = 0);
  void AskPrice(int Side);
  void AskPreset();
  // Says what a dose in money delivers, and asks first when it is not the dose typed.
  void AskMoneyPreset(double Money);
  // The price typed for Side, or none when the reader refuses it (then said for Kind).
  std::optional<double> TypedPrice(int Side, CommandKind Kind);
  void Refuse(CommandKind Kind, const QString& Why);
  void Confirm(const QString& Text, const QString& Yes, std::function<void()> Then);
  int ChosenSide() const;
  QWidget* MakeSideRows();
  QWidget* MakeCommandRows();
  // A hidden panel (the overview shows one nozzle's) keeps what its labels
  // are to say and writes them once shown: thirty lines' polls would
  // otherwise lay out a hundred panels nobody sees.
  void Keep(const NozzleReading& Reading);
  void ShowKept();

  NozzleConfig Nozzle;
  QLabel* State;
  QLabel* Current;
  QLabel* Final;
  ElidedLabel* PollStatus;
  ElidedLabel* CommandStatus;
  QComboBox* SideBox;
  AmountBox* PresetEdit;
  QComboBox* PresetKindBox;
  QPushButton* StopButton = nullptr;
  QPushButton* PresetButton = nullptr;
  std::vector<QPushButton*> PriceButtons;    // one a side
  std::vector<QPushButton*> CommandButtons;  // in the order they are read
  std::vector<QWidget*> KeyOrder;
  bool IsChosen = false;
  std::vector<AmountBox*> PriceEdits;  // one a side
  // What the driver holds for each side, as far as this panel gave it.
  std::vector<std::optional<double>> SentPrices;
  std::vector<std::optional<double>> RememberedPrices;  // one a side
  uint16_t LastState = 0;
  QPointer<QMessageBox> Question;  // the one question open, if any
  QString PresetNote;  // what the last dose in money delivers
  std::vector<QLabel*> TotalLabels;
  DeliveryChart* Flow;
  QElapsedTimer FlowClock;
  bool FlowClosed = true;  // the next running figure starts a new curve
  // What the labels have yet to show: the newest reading's state and status,
  // and the newest figure of each kind since they were last written.
  struct Unshown {
    std::optional<NozzleReading> Last;
    std::optional<Amounts> Current;  // the running figure, or the final one after it
    std::optional<Amounts> Final;
    std::vector<std::optional<double>> Totals;
  };
  Unshown Kept;
  mutable QSize HiddenMinimum;  // measured while hidden; invalid: measure again
};

// What a dose in money delivers: the controller takes whole litres.
struct MoneyDose {
  double Litres = 0;
  double Money = 0;
};
// None when the dose leaves the preset range or Price is not above 0.
std::optional<MoneyDose> DoseForMoney(double Money, double Price);

// "12 л", "123,45": how the console writes litres and money (in the user's format).
QString LitresText(double Volume);
QString MoneyText(double Money);
// Money counted at no price the console gave: "цена не задана", never 0.
QString MoneyText(const std::optional<double>& Money);
// What the console calls each command ("пуск").
QString CommandName(CommandKind Kind);

}  // namespace qx25::station
