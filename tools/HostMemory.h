// What a host remembers between calls and a fresh driver does not: the side
// a nozzle's delivery was started on, the volume it was preset to, the price
// its money is computed at. Each qx25ctl run is a fresh driver, so the
// commands give it these figures here, in the driver's own tables, rather
// than writing those tables themselves.
#pragma once

#include <cstdint>

#include "driver/QX25.h"

namespace qx25::tools {

class HostMemory {
 public:
  // Port 1..30 and Nozzle 1..32, as the options check them.
  HostMemory(TQX25& Of, int32_t OnPort, int32_t ForNozzle)
      : Driver(Of), Port(OnPort), Nozzle(ForNozzle) {}

  // The delivery was started on Side, at Price (0: money is not computed).
  void StartedOn(int32_t Side, double Price) {
    Driver.NozzleSides[Port][Nozzle] = static_cast<uint8_t>(Side);
    Driver.SetPrice(Port, Nozzle, Side, 0, 0, Price);
  }
  void PresetTo(double Volume) { Driver.PresetVolumes[Port][Nozzle] = Volume; }
  // The figure the last preset was given, as the driver keeps it.
  double Preset() const { return Driver.PresetVolumes[Port][Nozzle]; }

 private:
  TQX25& Driver;
  int32_t Port;
  int32_t Nozzle;
};

}  // namespace qx25::tools
