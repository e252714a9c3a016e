#include "ui/AddrForm.h"

#include <QFontMetrics>

#include "ui/Forms.h"
#include "ui/ParamFrame.h"
#include "ui/core/Files.h"
#include "ui/ui_AddrForm.h"
#include "ui/ui_ParamFrame.h"

constexpr QSize kClientSize(226, 104);
const QColor kReasonColour(0xFF, 0x00, 0x00);

TAddrFrm::TAddrFrm(TQX25* ForDriver, QWidget* Parent)
    : QDialog(Parent), Controls(std::make_unique<Ui::AddrFrm>()), Driver(ForDriver) {
  qx25::ui::UseFormFont(*this);
  Controls->setupUi(this);
  // Both open at 0, written out: a typed box keeps an empty text when shown.
  for (QSpinBox* box : {Controls->NTrkEdit, Controls->NPstEdit}) box->setValue(0);
  Controls->BitBtn1->setIcon(qx25::ui::OkGlyph());
  Controls->BitBtn2->setIcon(qx25::ui::CancelGlyph());
  QPalette palette = Controls->AddrReason->palette();
  palette.setColor(QPalette::WindowText, kReasonColour);
  Controls->AddrReason->setPalette(palette);
  qx25::ui::FinishFixedDialog(*this, kClientSize);
  // Esc rejects through QDialog; the cancel button does the same. Enter
  // reaches "Вычислить" as the default button, whatever the fields hold.
  connect(Controls->BitBtn1, &QAbstractButton::clicked, this, &TAddrFrm::Compute);
  connect(Controls->BitBtn2, &QAbstractButton::clicked, this, &QDialog::reject);
  Controls->NPstEdit->setFocus();
}

TAddrFrm::~TAddrFrm() = default;

void TAddrFrm::Compute() {
  const qx25::params::TTypedValue address = qx25::ui::ReadNozzleAddress(
      Driver, Controls->NPstEdit->text().toStdString(), Controls->NTrkEdit->text().toStdString());
  if (!address) {
    const QString reason = QString::fromStdString(address.Refusal);
    QLabel* label = Controls->AddrReason;
    // A long reason is narrowed into the room there is; the dialog keeps its size.
    const int room = label->width();
    label->setFont(qx25::ui::FittedFont(font(), [&](const QFont& Font) {
      return QFontMetrics(Font).horizontalAdvance(reason) <= room;
    }));
    label->setText(reason);
    label->setToolTip(reason);
    return;
  }
  Computed = static_cast<int>(*address.Raw);
  accept();
}

void TParamFrm::AddrBtnClick() {
  TAddrFrm dialog(Driver, this);
  if (dialog.exec() != QDialog::Accepted || !dialog.Address()) return;
  Controls->AddrEdit->setValue(*dialog.Address());
}
