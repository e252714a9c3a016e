#include "ui/AddrForm.h"

#include <QSpinBox>
#include <algorithm>
#include <exception>

#include "ui/Forms.h"
#include "ui/Glyphs.h"
#include "ui/ParamFrame.h"
#include "ui/ui_AddrForm.h"
#include "ui/ui_ParamFrame.h"

namespace {
constexpr int kClientWidth = 226;
constexpr int kClientHeight = 104;
}  // namespace

TAddrFrm::TAddrFrm(QWidget* Parent) : QDialog(Parent), Controls(std::make_unique<Ui::AddrFrm>()) {
  qx25::ui::UseFormFont(*this);
  Controls->setupUi(this);
  Controls->BitBtn1->setIcon(qx25::ui::OkGlyph());
  Controls->BitBtn2->setIcon(qx25::ui::CancelGlyph());
  qx25::ui::FinishFixedDialog(*this, QSize(kClientWidth, kClientHeight));
  // Esc rejects through QDialog; the cancel button does the same.
  connect(Controls->BitBtn1, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(Controls->BitBtn2, &QAbstractButton::clicked, this, &QDialog::reject);
  Controls->NPstEdit->setFocus();
}

TAddrFrm::~TAddrFrm() = default;

int TAddrFrm::Dispenser() const { return Controls->NTrkEdit->value(); }
int TAddrFrm::Nozzle() const { return Controls->NPstEdit->value(); }

void TParamFrm::AddrBtnClick() {
  try {
    TAddrFrm dialog(this);
    if (dialog.exec() != QDialog::Accepted || !Driver) return;
    // The spin edit holds the result to its own range, 1 to 64.
    Controls->AddrEdit->setValue(Driver->CalcNozzleAddress(dialog.Nozzle(), dialog.Dispenser()));
  } catch (const std::exception&) {
    // A failed calculation leaves the address as it was, without a message.
  }
}
