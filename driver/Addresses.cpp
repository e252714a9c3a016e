// Network addresses and port settings: programming a controller's address by
// its ID number, the address rule of the address dialog, and the line
// settings this protocol asks of the host's dispatcher.
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "Driver.h"
#include "SlotBoundary.h"

using namespace qx25;

namespace {

int32_t PortSetupHandler(void* Self, uint8_t Port) {
  return static_cast<TQX25*>(Self)->ApplyPortSettings(Port);
}

}  // namespace

void TQX25::SetNetAddress(uint8_t Port, uint8_t Nozzle, int32_t IdNumber, int32_t NewAddress) {
  const TPortLock hold(Port);
  CheckNozzle(Nozzle);
  // The request carries ten ID digits and three address digits, unsigned.
  if (IdNumber < 0)
    throw std::out_of_range("ID number " + std::to_string(IdNumber) + " is negative");
  if (NewAddress < 0 || NewAddress > kMaxNetAddress)
    throw std::out_of_range("New address " + std::to_string(NewAddress) + " is outside 0..99");
  const uint8_t port = PortIndex(Port);

  // The ID selects the controller, so the request has no nozzle address: the
  // new address stands between the two halves of the ID.
  constexpr int kHalf = kIdDigits / 2;
  uint8_t id[kIdDigits];
  WriteDigits(id, static_cast<uint64_t>(IdNumber), kIdDigits);
  TRequest request(kNetAddressRequest.Letter);
  for (int i = 0; i < kHalf; ++i) request.Put(id[i]);
  request.PutDigits(static_cast<uint64_t>(NewAddress), kNewAddressDigits);
  for (int i = kHalf; i < kIdDigits; ++i) request.Put(id[i]);

  const TReply reply = SendOrThrow(*this, port, request, kNetAddressRequest, kMsgNetAddressLink);
  if (reply.Outcome == TReplyOutcome::InDoubt) throw ESerialIO(kMsgNetAddressReply);
  if (reply.Outcome == TReplyOutcome::Refused)
    SetRefusal(*this, port, request, kNetAddressRequest, kRefusedNetAddress);
}

int32_t TQX25::CalcNozzleAddress(int32_t Nozzle, int32_t Dispenser) {
  // Dispenser 0 counts as the first, as side 0 does in the nozzle mapping.
  const int64_t address = int64_t{Nozzle} + (Dispenser == 0 ? 1 : Dispenser) - 1;
  if (address < std::numeric_limits<int32_t>::min() ||
      address > std::numeric_limits<int32_t>::max())
    throw std::out_of_range("Nozzle " + std::to_string(Nozzle) + " and dispenser " +
                            std::to_string(Dispenser) + " give no address");
  return static_cast<int32_t>(address);
}

int32_t TQX25::SetupPort(int32_t Port) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  // Settings change between commands, never inside one.
  const TPortLock hold(Port);
  const uint8_t port = PortIndex(Port);
  // The dispatcher keeps the handler and calls it whenever it (re)opens the port.
  Dispatcher->SetPortSetupHandler(port, TPortSetupHandler{&PortSetupHandler, this});
  return ApplyPortSettings(port);
}
QX25_SLOT_CATCH(0)

// Takes no port lock: the dispatcher calls it as the port's settings handler
// with its own port lock held, and taking ours there would take the two in
// the reverse of a command's order (ours first, then the dispatcher's).
int32_t TQX25::ApplyPortSettings(uint8_t Port) {
  return Dispatcher->SetLineParams(Port, kLineFormat, kLineBaud);
}
