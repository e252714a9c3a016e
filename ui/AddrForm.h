// The nozzle address dialog: a dispenser number and a nozzle number, from
// which it works out the nozzle's network address. It sends nothing.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "driver/QX25.h"

namespace Ui {
class AddrFrm;
}

class TAddrFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TAddrFrm(TQX25* ForDriver, QWidget* Parent = nullptr);
  ~TAddrFrm() override;

  // The address the numbers gave once "Вычислить" accepted them.
  std::optional<int> Address() const { return Computed; }

 private:
  // Accepts only numbers that give an address; otherwise the dialog stays
  // open with the texts as typed and says why beside them.
  void Compute();

  std::unique_ptr<Ui::AddrFrm> Controls;
  TQX25* Driver = nullptr;  // not owned
  std::optional<int> Computed;
};
