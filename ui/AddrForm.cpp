#include "ui/AddrForm.h"

#include "ui/Forms.h"
#include "ui/ParamFrame.h"
#include "ui/core/Files.h"
#include "ui/ui_AddrForm.h"
#include "ui/ui_ParamFrame.h"

constexpr QSize kClientSize(226, 104);

TAddrFrm::TAddrFrm(QWidget* Parent) : QDialog(Parent), Controls(std::make_unique<Ui::AddrFrm>()) {
  qx25::ui::UseFormFont(*this);
  Controls->setupUi(this);
  Controls->BitBtn1->setIcon(qx25::ui::OkGlyph());
  Controls->BitBtn2->setIcon(qx25::ui::CancelGlyph());
  qx25::ui::FinishFixedDialog(*this, kClientSize);
  // Esc rejects through QDialog; the cancel button does the same.
  connect(Controls->BitBtn1, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(Controls->BitBtn2, &QAbstractButton::clicked, this, &QDialog::reject);
  Controls->NPstEdit->setFocus();
}

TAddrFrm::~TAddrFrm() = default;

int TAddrFrm::Dispenser() const { return Controls->NTrkEdit->value(); }
int TAddrFrm::Nozzle() const { return Controls->NPstEdit->value(); }

void TParamFrm::AddrBtnClick() {
  TAddrFrm dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (const std::optional<int> address =
          qx25::ui::NozzleAddress(Driver, dialog.Nozzle(), dialog.Dispenser()))
    Controls->AddrEdit->setValue(*address);
}
