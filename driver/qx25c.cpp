// The C interface (qx25c.h): each call runs the driver's operation inside a
// barrier that turns whatever it throws into a failure value and the calling
// thread's last error, since a host in another language cannot unwind a C++
// exception.
#include "qx25c.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "DriverLog.h"
#include "DriverPtr.h"
#include "HostContract.h"
#include "QX25.h"
#include "SerialDispatcher.h"
#include "SlotBoundary.h"

// The records are the C++ ones byte for byte, so that they are copied whole.
static_assert(sizeof(qx25_driver_info) == sizeof(TDriverInfo));
static_assert(sizeof(qx25_nozzle_poll) == sizeof(TNozzlePoll) && sizeof(qx25_nozzle_poll) == 16);
static_assert(offsetof(qx25_nozzle_poll, codes) == offsetof(TNozzlePoll, Codes) &&
              offsetof(qx25_nozzle_poll, state_side) == offsetof(TNozzlePoll, StateSide));

// Declared first so that the dispatcher outlives the driver that calls it.
struct qx25_handle {
  qx25::serial::SerialDispatcher Lines;
  DriverPtr Driver;
};

using qx25::LastFailure;
using qx25::RecordFailure;

namespace {

// A failure that is the caller's own (a null handle or output), said as the
// driver says an argument outside its range.
[[noreturn]] void Refuse(const char* What) { throw std::invalid_argument(What); }

TQX25& DriverOf(qx25_handle* Handle) {
  if (!Handle || !Handle->Driver) Refuse("no driver: the handle is null");
  return *Handle->Driver;
}

template <typename T>
T& Out(T* Pointer, const char* Name) {
  if (!Pointer) Refuse((std::string(Name) + " is a null pointer").c_str());
  return *Pointer;
}

// Runs Body; on any exception stores its message and gives Failed instead.
template <typename Result, typename Body>
Result Guard(Result Failed, Body&& body) noexcept {
  try {
    LastFailure().clear();
    return body();
  } catch (...) {
    RecordFailure();
  }
  return Failed;
}

// Mapped ports are the driver's: 1..30.
uint8_t MappedPort(int32_t Port) {
  if (Port < 1 || Port > qx25::kMaxPort)
    throw std::out_of_range("Port " + std::to_string(Port) + " is outside 1.." +
                            std::to_string(qx25::kMaxPort));
  return static_cast<uint8_t>(Port);
}

std::string DeviceName(const char* Device) {
  std::string name = Device ? Device : "";
#if defined(_WIN32)
  // COM10 and above open only by their device-namespace name; "COMn" is how
  // a Windows user names every port.
  if (name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0) &&
      name.find_first_not_of("0123456789", 3) == std::string::npos)
    name = "\\\\.\\" + name;
#endif
  return name;
}

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = -1;
constexpr int32_t kFailedResult = std::numeric_limits<int32_t>::min();

}  // namespace

extern "C" {

qx25_handle* QX25_CALL qx25_open(uint32_t options, int32_t port, const char* device) {
  return Guard<qx25_handle*>(nullptr, [&] {
    const bool map = port != 0 || device != nullptr;
    const uint8_t mapped = map ? MappedPort(port) : 0;
    auto handle = std::make_unique<qx25_handle>();
    if (map) handle->Lines.SetDevicePath(mapped, DeviceName(device));
    handle->Driver.reset(GetQX25(options, 0, &handle->Lines));
    return handle.release();
  });
}

int32_t QX25_CALL qx25_set_device(qx25_handle* handle, int32_t port, const char* device) {
  return Guard(kFailed, [&] {
    DriverOf(handle);
    handle->Lines.SetDevicePath(MappedPort(port), DeviceName(device));
    return kOk;
  });
}

void QX25_CALL qx25_close(qx25_handle* handle) {
  LastFailure().clear();
  delete handle;
}

void* QX25_CALL qx25_driver(qx25_handle* handle) {
  LastFailure().clear();
  return handle ? handle->Driver.get() : nullptr;
}

const char* QX25_CALL qx25_last_error(void) { return LastFailure().c_str(); }

int32_t QX25_CALL qx25_set_log(int32_t level, qx25_log_fn callback, void* context) {
  return Guard(kFailed, [&] {
    if (SetQX25Log(level, callback, context) != 0)
      throw std::out_of_range("log level " + std::to_string(level) + " is outside -1..3");
    return kOk;
  });
}

int32_t QX25_CALL qx25_abstract(qx25_handle* h) {
  return Guard(kFailed, [&] {
    DriverOf(h).Abstract();
    return kOk;
  });
}

int32_t QX25_CALL qx25_get_driver_info(qx25_handle* h, qx25_driver_info* info) {
  return Guard(kFailed, [&] {
    const TDriverInfo result = DriverOf(h).GetDriverInfo();
    qx25_driver_info& out = Out(info, "info");
    out.length = result.Length;
    std::memcpy(out.text, result.Text, sizeof out.text);
    return kOk;
  });
}

int32_t QX25_CALL qx25_set_port_status(qx25_handle* h, int32_t port, int32_t value) {
  return Guard(kFailed, [&] {
    DriverOf(h).SetPortStatus(port, value);
    return kOk;
  });
}

int32_t QX25_CALL qx25_get_port_status(qx25_handle* h, int32_t port) {
  return Guard(kFailed, [&] { return static_cast<int32_t>(DriverOf(h).GetPortStatus(port)); });
}

int32_t QX25_CALL qx25_stop_nozzle(qx25_handle* h, int32_t port, int32_t nozzle, int32_t confirm) {
  return Guard(kFailed, [&] { return DriverOf(h).StopNozzle(port, nozzle, confirm) ? 1 : 0; });
}

int32_t QX25_CALL qx25_spare_query(qx25_handle* h, int32_t arg) {
  return Guard(kFailed, [&] { return static_cast<int32_t>(DriverOf(h).SpareQuery(arg)); });
}

int32_t QX25_CALL qx25_get_delivery_result(qx25_handle* h, int32_t port, int32_t nozzle,
                                           double* volume, double* money) {
  return Guard(kFailed, [&] {
    TQX25& driver = DriverOf(h);
    double& v = Out(volume, "volume");
    double& m = Out(money, "money");
    driver.GetDeliveryResult(port, nozzle, v, m);
    return kOk;
  });
}

int32_t QX25_CALL qx25_get_total_counter(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                         double* total, uint64_t* second, int32_t arg6,
                                         int32_t arg7) {
  return Guard(kFailed, [&] {
    TQX25& driver = DriverOf(h);
    double& t = Out(total, "total");
    uint64_t& s = Out(second, "second");
    driver.GetTotalCounter(port, nozzle, side, t, s, arg6, arg7);
    return kOk;
  });
}

int32_t QX25_CALL qx25_set_total_counter(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                         double* value, int32_t arg5, int32_t arg6, int32_t arg7) {
  return Guard(kFailed, [&] {
    TQX25& driver = DriverOf(h);
    driver.SetTotalCounter(port, nozzle, side, Out(value, "value"), arg5, arg6, arg7);
    return kOk;
  });
}

double QX25_CALL qx25_get_current_delivery(qx25_handle* h, int32_t port, int32_t nozzle,
                                           double* money) {
  return Guard(std::numeric_limits<double>::quiet_NaN(), [&] {
    TQX25& driver = DriverOf(h);
    // Money is written only when the whole call succeeds.
    double m = 0;
    Out(money, "money");
    const double volume = driver.GetCurrentDelivery(port, nozzle, m);
    *money = m;
    return volume;
  });
}

int32_t QX25_CALL qx25_get_nozzle_state(qx25_handle* h, int32_t port, int32_t nozzle) {
  return Guard(kFailed,
               [&] { return static_cast<int32_t>(DriverOf(h).GetNozzleState(port, nozzle)); });
}

int32_t QX25_CALL qx25_set_price(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                 int32_t arg4, int32_t arg5, double price) {
  return Guard(kFailed, [&] {
    DriverOf(h).SetPrice(port, nozzle, side, arg4, arg5, price);
    return kOk;
  });
}

int32_t QX25_CALL qx25_spare_command(qx25_handle* h, int32_t arg1, int32_t arg2, int32_t arg3) {
  return Guard(kFailed, [&] {
    DriverOf(h).SpareCommand(arg1, arg2, arg3);
    return kOk;
  });
}

int32_t QX25_CALL qx25_preset_volume(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                     int32_t extra, double volume) {
  return Guard(kFailed, [&] {
    DriverOf(h).PresetVolume(port, nozzle, side, extra, volume);
    return kOk;
  });
}

int32_t QX25_CALL qx25_preset_money(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                    int32_t extra, double money) {
  return Guard(kFailed, [&] {
    DriverOf(h).PresetMoney(port, nozzle, side, extra, money);
    return kOk;
  });
}

int32_t QX25_CALL qx25_start_pump(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side) {
  return Guard(kFailed, [&] {
    DriverOf(h).StartPump(port, nozzle, side);
    return kOk;
  });
}

int32_t QX25_CALL qx25_setup_port(qx25_handle* h, int32_t port) {
  return Guard(kFailedResult, [&] { return DriverOf(h).SetupPort(port); });
}

int32_t QX25_CALL qx25_get_param(qx25_handle* h, int32_t port, int32_t nozzle, int32_t param_no) {
  return Guard(kFailedResult, [&] { return DriverOf(h).GetParam(port, nozzle, param_no); });
}

int32_t QX25_CALL qx25_set_par(qx25_handle* h, int32_t port, int32_t nozzle, int32_t param_no,
                               int32_t value) {
  return Guard(kFailed, [&] {
    DriverOf(h).SetPar(port, nozzle, param_no, value);
    return kOk;
  });
}

int32_t QX25_CALL qx25_start_pump_with_reset(qx25_handle* h, int32_t port, int32_t nozzle,
                                             int32_t side, int32_t skip_reset) {
  return Guard(kFailed, [&] {
    DriverOf(h).StartPumpWithReset(port, nozzle, side, skip_reset);
    return kOk;
  });
}

int32_t QX25_CALL qx25_get_driver_property(qx25_handle* h, int32_t kind, int32_t* value) {
  return Guard(kFailed, [&] {
    TQX25& driver = DriverOf(h);
    return driver.GetDriverProperty(kind, Out(value, "value")) ? 1 : 0;
  });
}

int32_t QX25_CALL qx25_poll_nozzle(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side_count,
                                   qx25_nozzle_poll* poll) {
  if (poll) *poll = qx25_nozzle_poll{};
  return Guard(kFailed, [&] {
    TQX25& driver = DriverOf(h);
    qx25_nozzle_poll& out = Out(poll, "poll");
    const TNozzlePoll result = driver.PollNozzle(port, nozzle, side_count);
    std::memcpy(&out, &result, sizeof out);
    return kOk;
  });
}

int32_t QX25_CALL qx25_stop_pump(qx25_handle* h, int32_t port, int32_t nozzle, int32_t side,
                                 int32_t confirm) {
  return Guard(kFailed, [&] {
    DriverOf(h).StopPump(port, nozzle, side, confirm);
    return kOk;
  });
}

int32_t QX25_CALL qx25_stop_pump_and_reset(qx25_handle* h, int32_t port, int32_t nozzle,
                                           int32_t side, int32_t confirm) {
  return Guard(kFailedResult,
               [&] { return DriverOf(h).StopPumpAndReset(port, nozzle, side, confirm); });
}

int32_t QX25_CALL qx25_install_menu(qx25_handle* h, void* root_item,
                                    qx25_create_menu_item_fn create_menu_item) {
  return Guard(kFailed, [&] {
    DriverOf(h).InstallMenu(root_item, create_menu_item);
    return kOk;
  });
}

int32_t QX25_CALL qx25_spare_hook_a(qx25_handle* h, void* root_item,
                                    qx25_create_menu_item_fn create_menu_item) {
  return Guard(kFailed, [&] {
    DriverOf(h).SpareHookA(root_item, create_menu_item);
    return kOk;
  });
}

int32_t QX25_CALL qx25_spare_hook_b(qx25_handle* h, void* root_item,
                                    qx25_create_menu_item_fn create_menu_item) {
  return Guard(kFailed, [&] {
    DriverOf(h).SpareHookB(root_item, create_menu_item);
    return kOk;
  });
}

}  // extern "C"
