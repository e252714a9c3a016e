#include "CatalogValues.h"

#include <algorithm>

#include "driver/protocol/Protocol.h"
#include "params/ParameterUnit.h"

namespace qx25::sim {

void SetCatalogValues(Simulator& Sim, int Address) {
  CTRKParameters catalog;
  catalog.Fill();
  for (int i = 0; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    if (LinkModeOf(p.Kind) != lmParameter || p.Code == kPasswordCode) continue;
    // A few initial values lie outside their own limits; a controller
    // would not hold them, so the nearest limit stands in.
    Sim.SetParam(Address, p.Code, std::clamp(p.Value, p.MinValue, p.MaxValue));
  }
}

}  // namespace qx25::sim
