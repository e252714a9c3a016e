// The parameter values a simulated controller starts with: the catalog's
// initial values, brought within its limits, so that a parameter file read
// from a fresh simulator can be written back to it. The simulator itself
// knows no catalog; its programs give it these values.
#pragma once

#include "sim/Simulator.h"

namespace qx25::sim {

// Gives the controller at Address every catalog parameter's initial value,
// or the limit nearest to it.
void SetCatalogValues(Simulator& Sim, int Address);

class BuiltInSimulator;
// Every controller of a built-in line, so that qx25-host's simulated lines
// start as qx25ctl's and qx25-sim's do.
void SetCatalogValues(BuiltInSimulator& Line);

}  // namespace qx25::sim
