// Where a slot's exception stops on 32-bit Windows.
//
// There the library and its host each carry their own DWARF-2 unwinder (the
// C++ runtime is linked into every module), and each knows only its own
// module's frames: an exception thrown from qx25.dll into a host ends the
// host, whatever its language. So on 32-bit Windows a slot called from
// outside the module catches what it throws, leaves the message in
// qx25_last_error() and returns its zero value; called from inside (the C
// interface, one slot through another, the service window, the tests linked
// with the driver) it throws as everywhere else. A slot called from outside
// clears the message first, so that an empty message means success.
//
// A slot that may throw is written
//   R TQX25::Slot(...) QX25_SLOT_TRY {
//     QX25_SLOT_ENTER;
//     ...
//   }
//   QX25_SLOT_CATCH(zero value of R)
// and elsewhere the three marks are nothing.
#pragma once

#include <string>

namespace qx25 {

// The calling thread's last failure message: what qx25_last_error() shows.
std::string& LastFailure();

// Stores the message of the exception being handled as the last failure.
void RecordFailure() noexcept;

// For the marks below. Caller is the slot's return address, which says
// where a call through the table came from. A slot that another slot calls
// may be inlined into it, where the return address is the outer slot's: so
// a slot also counts the slots running on its thread, and only the
// outermost one, called from outside the module, stops an exception.
class TSlotScope {
 public:
  explicit TSlotScope(const void* Caller) noexcept;
  ~TSlotScope();
  TSlotScope(const TSlotScope&) = delete;
  TSlotScope& operator=(const TSlotScope&) = delete;
};
// When no slot runs on the thread (the handler's own has ended) and Caller
// lies outside this module, records the exception being handled and says
// true; false: the slot rethrows.
bool StopAtBoundary(const void* Caller) noexcept;

}  // namespace qx25

#if defined(_WIN32) && !defined(_WIN64)
#define QX25_SLOT_TRY try
#define QX25_SLOT_ENTER const qx25::TSlotScope slotScope(__builtin_return_address(0))
#define QX25_SLOT_CATCH(...)                                       \
  catch (...) {                                                    \
    if (!qx25::StopAtBoundary(__builtin_return_address(0))) throw; \
    return __VA_ARGS__;                                            \
  }
#else
#define QX25_SLOT_TRY
#define QX25_SLOT_ENTER static_cast<void>(0)
#define QX25_SLOT_CATCH(...)
#endif
