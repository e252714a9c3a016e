#include "PriceMemory.h"

#include <QSettings>
#include <cmath>

#include "driver/HostContract.h"
#include "params/TypedNumber.h"

namespace qx25::station {

namespace {
constexpr int kPriceDecimals = 2;

QString Key(int Port, int Nozzle, int Side) {
  return QStringLiteral("prices/%1-%2-%3").arg(Port).arg(Nozzle).arg(Side);
}
}  // namespace

PriceMemory::PriceMemory(const QString& Path)
    : Settings(Path.isEmpty() ? std::make_unique<QSettings>(QStringLiteral("qx25"),
                                                            QStringLiteral("qx25-host"))
                              : std::make_unique<QSettings>(Path, QSettings::IniFormat)) {}

PriceMemory::~PriceMemory() = default;

std::optional<double> PriceMemory::Price(int Port, int Nozzle, int Side) const {
  const QString key = Key(Port, Nozzle, Side);
  const QVariant kept = Settings->value(key);
  if (!kept.isValid()) return std::nullopt;
  // Written with a point; a hand edit may say anything, and is read as typed.
  const auto maxCents = static_cast<int64_t>(std::llround(kMaxPrice * kCentsPerUnit));
  const params::TTypedValue typed = params::ReadTypedDecimal(
      kept.toString().toStdString(), kPriceDecimals, 0, maxCents, {".", ""});
  if (typed) return static_cast<double>(*typed.Raw) / kCentsPerUnit;
  qWarning("qx25-host: %s in %s is no price (%s): not used", qPrintable(key),
           qPrintable(Settings->fileName()), typed.Refusal.c_str());
  return std::nullopt;
}

void PriceMemory::Keep(int Port, int Nozzle, int Side, double Price) {
  Settings->setValue(Key(Port, Nozzle, Side), QString::number(Price, 'f', 2));
  Settings->sync();
}

}  // namespace qx25::station
