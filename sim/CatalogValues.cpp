#include "CatalogValues.h"

#include "driver/protocol/Protocol.h"
#include "params/ParameterUnit.h"

namespace qx25::sim {

void SetCatalogValues(Simulator& Sim, int Address) {
  CTRKParameters catalog;
  catalog.Fill();
  for (int i = 0; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    if (LinkModeOf(p.Kind) != lmParameter || p.Code == kPasswordCode) continue;
    Sim.SetParam(Address, p.Code, p.Value);
  }
}

}  // namespace qx25::sim
