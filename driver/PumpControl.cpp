// Pump control: start, preset, stop and reset of one nozzle.
#include "Driver.h"

using namespace qx25;

bool TQX25::StopNozzle(int32_t, int32_t, int32_t) { NotImplemented("StopNozzle"); }
void TQX25::PresetVolume(int32_t, int32_t, int32_t, int32_t, double) { NotImplemented("PresetVolume"); }
void TQX25::PresetMoney(int32_t, int32_t, int32_t, int32_t, double) { NotImplemented("PresetMoney"); }
void TQX25::StartPump(int32_t, int32_t, int32_t) { NotImplemented("StartPump"); }
void TQX25::StartPumpWithReset(int32_t, int32_t, int32_t, int32_t) { NotImplemented("StartPumpWithReset"); }
void TQX25::StopPump(int32_t, int32_t, int32_t, int32_t) { NotImplemented("StopPump"); }
int32_t TQX25::StopPumpAndReset(int32_t, int32_t, int32_t, int32_t) { NotImplemented("StopPumpAndReset"); }
int32_t TQX25::ResetNozzle(int32_t, int32_t, int32_t) { NotImplemented("ResetNozzle"); }
