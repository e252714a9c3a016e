// Delivery state and counters: status polls, current and final volumes,
// the totalizer, prices and the driver's property table.
#include "Driver.h"

using namespace qx25;

uint8_t TQX25::SpareQuery(int32_t) { NotImplemented("SpareQuery"); }
void TQX25::GetDeliveryResult(int32_t, int32_t, double&, double&) { NotImplemented("GetDeliveryResult"); }
void TQX25::GetTotalCounter(int32_t, int32_t, int32_t, double&, uint64_t&, int32_t, int32_t) { NotImplemented("GetTotalCounter"); }
void TQX25::SetTotalCounter(int32_t, int32_t, int32_t, double&, int32_t, int32_t, int32_t) { NotImplemented("SetTotalCounter"); }
double TQX25::GetCurrentDelivery(int32_t, int32_t, double&) { NotImplemented("GetCurrentDelivery"); }
uint16_t TQX25::GetNozzleState(int32_t, int32_t) { NotImplemented("GetNozzleState"); }
void TQX25::SetPrice(int32_t, int32_t, int32_t, int32_t, int32_t, double) { NotImplemented("SetPrice"); }
void TQX25::SpareCommand(int32_t, int32_t, int32_t) { NotImplemented("SpareCommand"); }
bool TQX25::GetDriverProperty(int32_t, int32_t&) { NotImplemented("GetDriverProperty"); }
TNozzlePoll TQX25::PollNozzle(int32_t, int32_t, int32_t) { NotImplemented("PollNozzle"); }
