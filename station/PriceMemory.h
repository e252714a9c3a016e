// The unit prices the operator gave each nozzle's sides, kept in the
// console's settings across a restart: the driver forgets them, and a sale
// that ended meanwhile is money only at its price.
#pragma once

#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace qx25::station {

class PriceMemory {
 public:
  // Path empty: the console's own settings (QSettings of qx25-host).
  explicit PriceMemory(const QString& Path);
  ~PriceMemory();
  PriceMemory(const PriceMemory&) = delete;
  PriceMemory& operator=(const PriceMemory&) = delete;

  // The price kept for a side; none when none was kept or the settings file
  // says something that is no price (then a warning names it).
  std::optional<double> Price(int Port, int Nozzle, int Side) const;
  void Keep(int Port, int Nozzle, int Side, double Price);

 private:
  std::unique_ptr<QSettings> Settings;
};

}  // namespace qx25::station
