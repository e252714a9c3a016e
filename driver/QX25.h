// The dispenser driver as a host sees it.
//
// A host loads libqx25.so, calls GetQX25 once per driver it needs and then
// drives the dispensers through the 27 virtual operations of TQX25, which it
// calls by their slot in the table (0 to 26, in declaration order). The driver
// never opens a port: every request goes through the host's PortDispatcher.
//
// The table's order is the binary contract: a prebuilt host calls entry N of
// the object's table (its first pointer-sized word) with the object first.
// On Linux and 64-bit Windows that is the platform's C convention; on 32-bit
// Windows a slot is __stdcall, as a COM method. A slot that returns a record
// in memory (GetDriverInfo) takes the result's address before the object.
// Never reorder, insert or remove a virtual function: tests/hosts'
// PascalHost checks each slot by its number. A host that cannot catch a C++
// exception, or has no dispatcher of its own, uses the C interface instead
// (qx25c.h: the same operations as qx25_ functions that return a failure
// value and leave the message in qx25_last_error()).
//
// Ranges: Port 1..30, Nozzle 1..32, Side 1..4 (Side 0 addresses like side 1).
// Where an operation takes a byte, it takes the low byte of the argument.
// An argument outside those ranges never reaches a table: the operation throws
// std::out_of_range naming the argument, before anything is sent or stored.
// A Nozzle above 32 throws std::runtime_error "Номер колонки выходит за
// допустимый диапозон". A failed exchange throws ESerialIO with the command's
// message. A controller's refusal is never an exception: it is a refusal code
// in PortStatus[Port], which the host reads with GetPortStatus (slot 3).
//
// Threads. Every operation that works on a port (each slot that takes a Port,
// and each ordinary operation below that sends a request) holds that port's
// lock for its whole run: from the reply handler's registration through the
// exchange to the checks of the reply, the line status and PortStatus that
// follow, and across the further requests it sends itself (the password and
// read-back of a calibration write, the result and reset a poll sends when a
// delivery ends). The lock belongs to the port number and is shared by every
// driver object in the process, and a thread may take it again inside its own
// command. So commands on one port, from any thread and any driver, run one
// after another, each whole; commands on different ports run concurrently as
// far as the dispatcher allows. The host, the service window and the window's
// read-all and write-all workers may use one driver on one port at the same
// time: each caller gets its own reply, result, TNozzlePoll record and
// exception, and no command ever acts on another caller's line status or
// refusal code. A caller waits while the commands that asked for its port
// before it run: callers get a port in the order they asked for it, so the
// workers looping over the bulk range delay a host's poll by at most the one
// command each has running or waiting, never by a whole loop.
//
// What the lock cannot give is PortStatus after the call. It is one byte per
// port, and GetPortStatus (slot 3) holds the lock only for its own read: it
// returns the status of the last command that ended on the port (never a
// status a running command is about to replace), which is the host's own only
// if no other caller's command ran on the port between the host's call and
// its read of slot 3. While a technician works on the same port, a host can
// read the status another caller left (1 after a good read, 23 after a
// refused parameter), and its own status or refusal code (16 start, 18
// preset, 20 stop...) can be replaced before it reads it. Where an operation
// reports through its own result (PollNozzle's codes, ReadParam's -1,
// WriteParam's false, an exception), that result is always the caller's own;
// the refusal of a start, preset or stop shows only in PortStatus, so a host
// that must be sure of it must not share the port with the service window
// meanwhile. SetPortStatus and SetPrice take the lock too; the public fields
// read or written directly are not guarded: touch them only while no command
// runs on that port. ApplyPortSettings takes no lock (the dispatcher calls it
// with its own port lock held). A slot a host overrides in a derived class
// runs inside the caller's lock when the driver calls it through the table:
// it must not wait there for another thread that uses the same port.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "DriverLog.h"
#include "PortDispatcher.h"

// Raised by every command whose exchange with the controller failed.
class QX25_EXPORT ESerialIO : public std::runtime_error {
 public:
  explicit ESerialIO(const std::string& Message) : std::runtime_error(Message) {}
};

// A short string: a length byte and up to 27 Windows-1251 characters.
struct QX25_EXPORT TDriverInfo {
  uint8_t Length;
  char Text[27];
};

// The result of PollNozzle; 16 bytes, zero-filled where nothing is written.
struct QX25_EXPORT TNozzlePoll {
  uint8_t State;        // merged summary code of the polled sides
  uint8_t EventLetter;  // 'Q', 'R', 'S', 'T' or '_' after an event, else 0
  uint16_t Codes[4];    // state code of sides 1..4; 0x100: the side's state could not be read
  uint8_t NotWritten[4];
  uint8_t StateSide;  // the side whose code is in State
  uint8_t Zero;
};

// Slot 24's menu contract. The driver calls the host's function with the
// parent item and position -1 (append); the function makes an empty item
// there and returns it, or null to make none.
//   Qt (libqx25.so): RootItem is the host's menu bar (QWidget*); Parent is
//   the top-level QAction captioned "&ТРК"; the function returns the new
//   QAction*, whose triggered() the driver connects.
//   Win32 (qx25.dll): RootItem is the HMENU of the host's menu bar and
//   AppHandle (GetQX25) the HWND of the window that owns it; Parent is the
//   HMENU of the popup captioned "&ТРК"; the function appends a MF_STRING
//   item to it and returns the item's command identifier (1 to 65535) as the
//   pointer. The driver gives the item its caption and subclasses AppHandle's
//   window (SetWindowSubclass), which takes WM_COMMAND of that identifier and
//   opens the window modally over it; the host calls slot 24 on that window's
//   thread and must not use the identifier itself. Without AppHandle the item
//   is made but opens nothing.
// Either way the first call alone acts; a menu without "&ТРК" gets nothing.
//
// A host that quits while the service window's write-all runs (the window
// open, or closed with its run going on) may ask first and stop the run
// after the write in flight. The window is named "ParamFrm":
//   Qt: its objectName; it answers the invokable QString WriteRunProgress()
//   ("записано 19 из 31", empty when no write-all runs) and QString
//   StopWriteRun() (waits for the write in flight; "Запись параметров
//   прервана: записано 19 из 31", empty when none ran).
//   Win32: its "Name" property; it answers the registered message
//   "qx25.WriteRun" with 1 while a write-all runs, else 0: wParam 0 asks,
//   1 stops; lParam, if not null, is a wchar_t[1024] for the same texts.
// A host that destroys the window's owner without asking stops the runs the
// same way, without a word.
using TCreateMenuItemFn = void* (*)(void* Parent, int32_t Position);

class QX25_EXPORT TQX25 {
 public:                                                                            // slot
  virtual void Abstract();                                                          // 0: throws
  virtual TDriverInfo GetDriverInfo();                                              // 1
  virtual void SetPortStatus(int32_t Port, int32_t Value);                          // 2
  virtual uint8_t GetPortStatus(int32_t Port);                                      // 3
  virtual bool StopNozzle(int32_t Port, int32_t Nozzle, int32_t Confirm);           // 4
  virtual uint8_t SpareQuery(int32_t Arg);                                          // 5
  virtual void GetDeliveryResult(int32_t Port, int32_t Nozzle, double& Volume,
                                 double& Money);                                    // 6
  virtual void GetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Total,
                               uint64_t& Second, int32_t, int32_t);                 // 7
  virtual void SetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Value,
                               int32_t, int32_t, int32_t);                          // 8
  virtual double GetCurrentDelivery(int32_t Port, int32_t Nozzle, double& Money);   // 9
  virtual uint16_t GetNozzleState(int32_t Port, int32_t Nozzle);                    // 10
  virtual void SetPrice(int32_t Port, int32_t Nozzle, int32_t Side, int32_t, int32_t,
                        double Price);                                              // 11
  virtual void SpareCommand(int32_t, int32_t, int32_t);                             // 12
  virtual void PresetVolume(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                            double Volume);                                         // 13
  virtual void PresetMoney(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                           double Money);                                           // 14
  virtual void StartPump(int32_t Port, int32_t Nozzle, int32_t Side);               // 15
  virtual int32_t SetupPort(int32_t Port);                                          // 16
  virtual int32_t GetParam(int32_t Port, int32_t Nozzle, int32_t ParamNo);          // 17
  virtual void SetPar(int32_t Port, int32_t Nozzle, int32_t ParamNo, int32_t Value);  // 18
  virtual void StartPumpWithReset(int32_t Port, int32_t Nozzle, int32_t Side,
                                  int32_t SkipReset);                               // 19
  virtual bool GetDriverProperty(int32_t Kind, int32_t& Value);                     // 20
  virtual TNozzlePoll PollNozzle(int32_t Port, int32_t Nozzle, int32_t SideCount);  // 21
  virtual void StopPump(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Confirm);  // 22
  virtual int32_t StopPumpAndReset(int32_t Port, int32_t Nozzle, int32_t Side,
                                   int32_t Confirm);                                // 23
  virtual void InstallMenu(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);     // 24
  virtual void SpareHookA(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);      // 25
  virtual void SpareHookB(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);      // 26

  // Ordinary operations, used by the service window, the tools and the tests.

  // The '8' request; returns the result of its exchange (0 = success), raises nothing.
  int32_t ResetNozzle(int32_t Port, int32_t Nozzle, int32_t Side);
  // The one request/reply primitive: frames Buffer[0..RequestLength-1], sends
  // it through the dispatcher and leaves the reply in Buffer, which must hold
  // max(RequestLength, ReplyLength) bytes. Returns 0 on success. Sets
  // PortStatus[Port] from the dispatcher's line status unless Transact threw.
  int32_t Exchange(uint8_t Port, uint8_t* Buffer, uint8_t RequestLength, uint8_t ReplyLength,
                   uint8_t ReplyMode);
  // The reply handler registered before every exchange; never throws.
  bool ValidateReply(uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t& Length,
                     void* Unused2);
  // A parameter by the controller's network address, for the service window
  // and its workers. ReadParam gives the value, or -1 (a refusal sets
  // PortStatus 23). WriteParam gives false when the exchange failed or, in
  // mode lmParameter, when the controller refused the write (PortStatus 23).
  int64_t ReadParam(uint8_t Mode, int32_t Port, int32_t Address, int32_t Code, int32_t Digits);
  bool WriteParam(uint8_t Mode, int64_t Port, int64_t Address, int64_t Code, int64_t Digits,
                  int64_t Value);
  void WriteCtrlParam(int32_t Port, int32_t Nozzle, int32_t Index, int32_t Value);
  void SetNetAddress(uint8_t Port, uint8_t Nozzle, int32_t IdNumber, int32_t NewAddress);
  int32_t WriteCalibration(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Value);
  int32_t CalcNozzleAddress(int32_t Nozzle, int32_t Dispenser);
  int32_t ApplyPortSettings(uint8_t Port);

  // Tables are counted from 1, as the protocol counts ports, nozzles and
  // sides; index 0 is unused.
  PortDispatcher* Dispatcher;
  uint8_t NozzleSides[31][33];
  double Prices[31][33][5];
  double PresetVolumes[31][33];
  double DeliveredVolumes[31][33];
  uint8_t PortStatus[31];
  bool KeepStatusOnCan;
  uint8_t AddressStride;
  uint8_t EventAckPending[31][33];

  // Deleting a driver first stops it being CurrentDriver, so that the
  // service window never opens for a freed driver. Static: it adds nothing to
  // the table or the object.
  static void operator delete(void* Driver) noexcept;
};

// The driver built last; the service window opens for it. A driver the host
// frees stops being CurrentDriver (then null) where the host's delete can
// reach ForgetQX25: a host linked with libqx25.so. A host that loads the
// library with dlopen(RTLD_LOCAL) cannot see it; such a host builds a new
// driver, or removes its menu, before the menu item can open the window again.
extern QX25_EXPORT TQX25* CurrentDriver;

#if defined(__ELF__)
// Weak, so that a host that does not link the library still loads.
extern "C" QX25_EXPORT void ForgetQX25(TQX25* Driver) noexcept __attribute__((weak));
#endif

inline void TQX25::operator delete(void* Driver) noexcept {
#if defined(__ELF__)
  if (ForgetQX25) ForgetQX25(static_cast<TQX25*>(Driver));
#endif
  ::operator delete(Driver);
}

// The library's one exported function: builds a new driver. Only bit 7 of the
// low byte of Options counts (KeepStatusOnCan). AppHandle is the host's main
// window (a QWidget* as an integer, or 0). The host owns the returned object.
extern "C" QX25_EXPORT TQX25* GetQX25(uint32_t Options, uintptr_t AppHandle,
                                      PortDispatcher* Dispatcher);
