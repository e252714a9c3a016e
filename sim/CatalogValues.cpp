#include "CatalogValues.h"

#include <algorithm>

#include "driver/protocol/Protocol.h"
#include "params/ParameterUnit.h"
#include "sim/BuiltInSimulator.h"

namespace qx25::sim {

namespace {

void SetValues(const CTRKParameters& Catalog, Simulator& Sim, int Address) {
  for (int i = 0; i < Catalog.Count(); ++i) {
    const CParameter& p = Catalog.Items(i);
    if (LinkModeOf(p.Kind) != lmParameter || p.Code == kPasswordCode) continue;
    // A few initial values lie outside their own limits; a controller
    // would not hold them, so the nearest limit stands in.
    Sim.SetParam(Address, p.Code, std::clamp(p.Value, p.MinValue, p.MaxValue));
  }
}

}  // namespace

void SetCatalogValues(Simulator& Sim, int Address) {
  CTRKParameters catalog;
  catalog.Fill();
  SetValues(catalog, Sim, Address);
}

void SetCatalogValues(BuiltInSimulator& Line) {
  CTRKParameters catalog;
  catalog.Fill();
  for (int address = kSimFirstAddress; address <= kSimLastAddress; ++address)
    SetValues(catalog, Line.Simulator(), address);
}

}  // namespace qx25::sim
