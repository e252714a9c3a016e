// The exported factory, the driver object's construction and the slots that
// belong to the object itself (0 to 3, and the menu hooks).
#include "QX25.h"

#include <cstring>
#include <stdexcept>

#include "Driver.h"
#include "MenuHook.h"
#include "SlotBoundary.h"

using namespace qx25;

TQX25* CurrentDriver = nullptr;

namespace {

// "v2.41#Протокол наливной Ж-4" in Windows-1251: the host shows these bytes.
constexpr uint8_t kDriverInfo[] = {
    'v',  '2',  '.',  '4',  '1',  '#',                          // version, separator
    0xCF, 0xF0, 0xEE, 0xF2, 0xEE, 0xEA, 0xEE, 0xEB, ' ',        // Протокол
    0xED, 0xE0, 0xEB, 0xE8, 0xE2, 0xED, 0xEE, 0xE9, ' ',        // наливной
    0xC6, '-',  '4',                                            // Ж-4
};
static_assert(sizeof(kDriverInfo) == 27);

constexpr uint8_t kKeepStatusOnCanBit = 0x80;

}  // namespace

extern "C" TQX25* QX25_CALL GetQX25(uint32_t Options, uintptr_t AppHandle,
                                   PortDispatcher* Dispatcher) {
  auto* driver = new TQX25();  // value-initialised: every table starts at zero
  ApplicationHandle = AppHandle;
  driver->Dispatcher = Dispatcher;
  driver->AddressStride = 1;
  driver->KeepStatusOnCan = (static_cast<uint8_t>(Options) & kKeepStatusOnCanBit) != 0;
  CurrentDriver = driver;
  return driver;
}

#if defined(__ELF__)
extern "C" void ForgetQX25(TQX25* Driver) noexcept {
  if (CurrentDriver == Driver) CurrentDriver = nullptr;
}
#endif

void TQX25::Abstract() QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  throw std::logic_error("abstract operation called (slot 0)");
}
QX25_SLOT_CATCH()

TDriverInfo TQX25::GetDriverInfo() {
  TDriverInfo info{};
  info.Length = sizeof(kDriverInfo);
  std::memcpy(info.Text, kDriverInfo, sizeof(kDriverInfo));
  return info;
}

void TQX25::SetPortStatus(int32_t Port, int32_t Value) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  PortStatus[PortIndex(Port)] = static_cast<uint8_t>(Value);
}
QX25_SLOT_CATCH()

uint8_t TQX25::GetPortStatus(int32_t Port) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  // Waits for a command running on the port, so that it reads a command's
  // final status, never the line status a refusal code is about to replace.
  const TPortLock hold(Port);
  return PortStatus[PortIndex(Port)];
}
QX25_SLOT_CATCH(0)

namespace {
TMenuInstaller Installer = nullptr;
}  // namespace

void qx25::SetMenuInstaller(TMenuInstaller NewInstaller) { Installer = NewInstaller; }
TMenuInstaller qx25::MenuInstaller() { return Installer; }
uintptr_t qx25::HostWindow() { return ApplicationHandle; }

void TQX25::InstallMenu(void* RootItem, TCreateMenuItemFn CreateMenuItemFn) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  if (Installer) Installer(*this, RootItem, CreateMenuItemFn);
}
QX25_SLOT_CATCH()

// Reserved hooks of the menu contract: they do nothing.
void TQX25::SpareHookA(void*, TCreateMenuItemFn) {}
void TQX25::SpareHookB(void*, TCreateMenuItemFn) {}
