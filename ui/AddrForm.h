// The nozzle address dialog: a dispenser number and a nozzle number, from
// which the window works out the nozzle's network address. It sends nothing.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AddrFrm;
}

class TAddrFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TAddrFrm(QWidget* Parent = nullptr);
  ~TAddrFrm() override;

  int Dispenser() const;  // "№ ТРК"
  int Nozzle() const;     // "№ пистолета"

 private:
  std::unique_ptr<Ui::AddrFrm> Controls;
};
