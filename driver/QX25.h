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
// Windows a slot is __stdcall (QX25_CALL), as a COM method, and so is
// GetQX25. A slot that returns a record in memory (GetDriverInfo; PollNozzle
// on Windows) takes the result's address before the object. On 32-bit
// Windows no exception leaves the library (each module unwinds only its own
// frames there): a slot the host calls returns its zero value instead and
// leaves the message in qx25_last_error(), empty after a slot that worked.
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

// The slots' calling convention, the same as qx25c.h's functions'.
#ifndef QX25_CALL
#if defined(_WIN32) && !defined(_WIN64)
#define QX25_CALL __stdcall
#else
#define QX25_CALL
#endif
#endif

/**
 * @file QX25.h
 * @brief The driver object a host calls slot by slot, and the one exported
 * function that makes it.
 *
 * Conventions that hold for every slot below unless its entry says otherwise:
 * - Port is the host's COM number, 1..30 (its low byte is taken); Nozzle is
 *   1..32; Side is 1..4, where a start, a stop and the totalizer also take 0
 *   ("as side 1"). Volumes are litres, money the station's currency with two
 *   decimals, prices money per litre.
 * - A slot that sends a request leaves in PortStatus[Port] (read it with
 *   GetPortStatus()) the dispatcher's line status of its last exchange: 1 when
 *   the reply was accepted; with the serial dispatcher 2 time-out, 3 reply
 *   rejected, 4 line error, 5 no device, 6 bad line settings, 7 in use by
 *   another program, 8 no access to the device. A controller's refusal
 *   replaces the 1 with the slot's refusal code; refusals are never
 *   exceptions.
 * - A failed exchange throws ESerialIO with the slot's message. An argument
 *   outside its range throws before anything is sent or stored:
 *   std::out_of_range naming the argument, or std::runtime_error
 *   "Номер колонки выходит за допустимый диапозон" for a Nozzle above 32.
 * - Any thread may call any slot but InstallMenu(); a slot that takes a Port
 *   holds that port's lock for its whole run (see the threads paragraph at
 *   the top of this header).
 */

/// Raised by every command whose exchange with the controller failed; what()
/// is the command's own message (Russian or short English, UTF-8).
class QX25_EXPORT ESerialIO : public std::runtime_error {
 public:
  /// Message: the command's own text.
  explicit ESerialIO(const std::string& Message) : std::runtime_error(Message) {}
};

/// A short string: a length byte and up to 27 Windows-1251 characters.
struct QX25_EXPORT TDriverInfo {
  uint8_t Length;  ///< how many bytes of Text count: 27
  char Text[27];   ///< "v2.41#Протокол наливной Ж-4" in Windows-1251, no terminating zero
};

/// The result of PollNozzle(); 16 bytes, zero-filled where nothing is written.
struct QX25_EXPORT TNozzlePoll {
  uint8_t State;        ///< merged summary code of the polled sides
  uint8_t EventLetter;  ///< 'Q', 'R', 'S', 'T' or '_' after an event, else 0
  uint16_t Codes[4];    ///< state code of sides 1..4; 0x100: the side's state could not be read
  uint8_t NotWritten[4];  ///< always 0: kept for the record's size
  uint8_t StateSide;  ///< the side whose code is in State
  uint8_t Zero;       ///< always 0
};

/**
 * @brief The host's function that makes a menu item (slot 24's contract).
 *
 * The driver calls it with the parent item and position -1 (append); the
 * function makes an empty item there and returns it, or null to make none.
 * - Qt (libqx25.so): RootItem is the host's menu bar (QWidget*); Parent is
 *   the top-level QAction captioned "&ТРК"; the function returns the new
 *   QAction*, whose triggered() the driver connects.
 * - Win32 (qx25.dll): RootItem is the HMENU of the host's menu bar and
 *   AppHandle (GetQX25) the HWND of the window that owns it; Parent is the
 *   HMENU of the popup captioned "&ТРК"; the function appends a MF_STRING
 *   item to it and returns the item's command identifier (1 to 65535) as the
 *   pointer. The driver gives the item its caption and subclasses AppHandle's
 *   window (SetWindowSubclass), which takes WM_COMMAND of that identifier and
 *   opens the window modally over it; the host calls slot 24 on that window's
 *   thread and must not use the identifier itself. Without AppHandle the item
 *   is made but opens nothing.
 *
 * Either way the first call alone acts; a menu without "&ТРК" gets nothing.
 *
 * A host that quits while the service window's write-all runs (the window
 * open, or closed with its run going on) may ask first and stop the run
 * after the write in flight. The window is named "ParamFrm":
 * - Qt: its objectName; it answers the invokable QString WriteRunProgress()
 *   ("записано 19 из 31", empty when no write-all runs) and QString
 *   StopWriteRun() (waits for the write in flight; "Запись параметров
 *   прервана: записано 19 из 31", empty when none ran).
 * - Win32: its "Name" property; it answers the registered message
 *   "qx25.WriteRun" with 1 while a write-all runs, else 0: wParam 0 asks,
 *   1 stops; lParam, if not null, is a wchar_t[1024] for the same texts.
 *
 * A host that destroys the window's owner without asking stops the runs the
 * same way, without a word.
 */
using TCreateMenuItemFn = void* (*)(void* Parent, int32_t Position);

/**
 * @brief The driver: 27 operations a host calls by their slot in the table,
 * then the ordinary operations the service window and the tools use.
 *
 * Made by GetQX25(); owned by the host, which frees it with delete once no
 * call runs on it.
 */
class QX25_EXPORT TQX25 {
 public:
  /// @name The host's slots, in table order
  /// @{

  /**
   * Slot 0: declared without work in the contract; a call is a host's error.
   * @throws std::logic_error always.
   */
  virtual void QX25_CALL Abstract();
  /**
   * Slot 1: the driver's description for the host to show.
   * @return Length 27 and "v2.41#Протокол наливной Ж-4" in Windows-1251.
   * No exchange, no lock; any thread.
   */
  virtual TDriverInfo QX25_CALL GetDriverInfo();
  /**
   * Slot 2: writes PortStatus[Port], for a host that clears it before a
   * command.
   * @param Port 1..30.
   * @param Value stored as its low byte.
   * @throws std::out_of_range Port outside 1..30.
   */
  virtual void QX25_CALL SetPortStatus(int32_t Port, int32_t Value);
  /**
   * Slot 3: how the last command on Port ended.
   * @param Port 1..30.
   * @return 0 before any exchange; 1 accepted; a line status 2..8 (the
   * dispatcher's); a refusal code 16 start, 17 preparation, 18 preset, 20
   * stop, 23 parameter, 24 address programming, 25 current-delivery query;
   * 26 a data query answered without data; or what SetPortStatus() wrote.
   * Waits for a command running on the port, so it never returns a status
   * that command is about to replace; with another caller on the port it may
   * return that caller's status.
   * @throws std::out_of_range Port outside 1..30.
   */
  virtual uint8_t QX25_CALL GetPortStatus(int32_t Port);
  /**
   * Slot 4: StopPump() on the side the nozzle was last started on (0, as
   * side 1, if never).
   * @param Confirm low byte 0: nothing is sent.
   * @return false, always.
   * @par PortStatus
   * as StopPump(): 1, 20 stop refused, or a line status.
   * @throws ESerialIO "Can't STOP POMP"; std::out_of_range for Port or a
   * Nozzle below 1; std::runtime_error for a Nozzle above 32 when confirmed.
   */
  virtual bool QX25_CALL StopNozzle(int32_t Port, int32_t Nozzle, int32_t Confirm);
  /// Slot 5: reserved; returns 0, sends nothing.
  virtual uint8_t QX25_CALL SpareQuery(int32_t Arg);
  /**
   * Slot 6: the final volume of the nozzle's last delivery and its money
   * (request '5', to the side the nozzle was last started on). PollNozzle()
   * already reads it when it closes a delivery; this reads it again.
   * @param[out] Volume litres, 0..99999; 0 when the reply carried no result.
   * @param[out] Money Volume times the price of that side (SetPrice()),
   * rounded to 0.01; 0 if the nozzle was never started. Left as it was when
   * the exchange fails.
   * @par PortStatus
   * 1; 26 when the controller answered without the result (ACK, NAK or CAN);
   * or a line status.
   * @throws ESerialIO "Ошибка при запросе состояния отлива"; the range errors.
   */
  virtual void QX25_CALL GetDeliveryResult(int32_t Port, int32_t Nozzle, double& Volume,
                                           double& Money);
  /**
   * Slot 7: the side's totalizer (request '6').
   * @param Side 0..4.
   * @param[out] Total whole litres, 0..99999999; 0 when the reply carried none.
   * @param[out] Second always 0: nothing on the line fills it.
   * The last two arguments are not used.
   * @par PortStatus
   * 1; 26 when answered without data; or a line status.
   * @throws ESerialIO "Ошибка при запросе состояния отлива"; the range errors.
   */
  virtual void QX25_CALL GetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Total,
                                         uint64_t& Second, int32_t, int32_t);
  /**
   * Slot 8: sets the side's totalizer: writes the counter password (code 26
   * of side 1), sends the counter, then reads code 26 back to close the
   * operation. The line carries a hundred times Value, so GetTotalCounter()
   * afterwards reads Value x 100.
   * @param Side 0..4.
   * @param Value 0..999999.99 (read, not written); checked before anything
   * is sent. The last three arguments are not used.
   * @par PortStatus
   * that of the read-back: 1, 23 refused, or a line status.
   * @throws ESerialIO "Can't GetParam" (password or read-back), or
   * "Ошибка при запросе состояния отлива" (the counter); std::out_of_range
   * for Value and the range errors.
   */
  virtual void QX25_CALL SetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Value,
                                         int32_t, int32_t, int32_t);
  /**
   * Slot 9: the running delivery so far (request '4', to the side the nozzle
   * was last started on).
   * @param[out] Money the volume's money at that side's price, rounded to
   * 0.01; left as it was when the exchange fails.
   * @return litres delivered so far, 0..99999; 0 when the reply carried none.
   * @par PortStatus
   * 1; 25 refused (CAN); 26 answered by a lone ACK or NAK; or a line status.
   * @throws ESerialIO "Ошибка при запросе состояния отлива"; the range errors.
   */
  virtual double QX25_CALL GetCurrentDelivery(int32_t Port, int32_t Nozzle, double& Money);
  /**
   * Slot 10: PollNozzle() with no side to poll: only the argument checks run
   * (the low bytes of Port and Nozzle), nothing is sent.
   * @return 0, unless a host's own PollNozzle() says otherwise.
   */
  virtual uint16_t QX25_CALL GetNozzleState(int32_t Port, int32_t Nozzle);
  /**
   * Slot 11: stores the side's unit price; nothing is sent. PresetMoney() and
   * the money of slots 6, 9 and 21 use it.
   * @param Nozzle 1..32 (std::out_of_range otherwise, also above 32).
   * @param Side 1..4.
   * @param Price money per litre; stored as given. Arguments 4 and 5 are
   * not used.
   * @throws std::out_of_range Port, Nozzle or Side outside its range.
   */
  virtual void QX25_CALL SetPrice(int32_t Port, int32_t Nozzle, int32_t Side, int32_t, int32_t,
                                  double Price);
  /// Slot 12: reserved; does nothing.
  virtual void QX25_CALL SpareCommand(int32_t, int32_t, int32_t);
  /**
   * Slot 13: presets the nozzle's next delivery by volume (request 'T').
   * @param Side addresses the request, 0 as 1.
   * @param Extra not used.
   * @param Volume litres, 0 to below 99999.5 (not NaN); whole litres go out,
   * rounded half to even (25.5 sends 26, 24.5 sends 24).
   * @par PortStatus
   * 1 accepted (the volume is remembered for PollNozzle()); 18 refused; or a
   * line status.
   * @throws ESerialIO "Ошибка задания отпуска по литрам"; std::out_of_range
   * for Volume and the range errors.
   */
  virtual void QX25_CALL PresetVolume(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                                      double Volume);
  /**
   * Slot 14: presets by money: the volume Money buys at the side's price
   * (SetPrice()), truncated to hundredths of a litre, goes to PresetVolume()
   * through the table.
   * @param Side 1..4.
   * @param Money 0 or more, finite.
   * @par PortStatus
   * as PresetVolume(): 1, 18, or a line status.
   * @throws std::invalid_argument when the side's price is not above 0;
   * std::out_of_range when Money is negative or buys 99999.5 litres or more;
   * and what PresetVolume() throws.
   */
  virtual void QX25_CALL PresetMoney(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                                     double Money);
  /**
   * Slot 15: starts the preset delivery (request '2'). The side is remembered
   * for the nozzle before the request goes out; the delivery queries and
   * StopNozzle() address it.
   * @param Side 0..4.
   * @par PortStatus
   * 1; 16 refused, unless GetQX25's Options set bit 7 (then the line status
   * stays); or a line status.
   * @throws ESerialIO "Can't START POMP"; the range errors.
   */
  virtual void QX25_CALL StartPump(int32_t Port, int32_t Nozzle, int32_t Side);
  /**
   * Slot 16: registers the driver as the port's settings handler with the
   * dispatcher and applies the line settings (SetLineParams(Port, 42, 4800)).
   * Call it once per port before the first command.
   * @return the dispatcher's result: 0 done; the serial dispatcher's failure
   * class otherwise (1 no device, 5 bad settings, 6 in use, 8 no access...).
   * PortStatus is not touched: nothing is exchanged.
   * @throws std::out_of_range Port outside 1..30; what the dispatcher throws.
   */
  virtual int32_t QX25_CALL SetupPort(int32_t Port);
  /**
   * Slot 17: reads a controller parameter by the host's combined number.
   * @param ParamNo 60 x (Side - 1) + Code + 10 for parameter Code (0..59) of
   * Side; below 10 (commands, addresses) nothing can be read.
   * @return the raw value (its low 32 bits); -1 for ParamNo below 10, for a
   * refusal and for a reply without digits.
   * @par PortStatus
   * 1; 23 refused; or a line status. Untouched for ParamNo below 10.
   * @throws ESerialIO "Can't GetParam"; std::runtime_error for a Nozzle above
   * 32; std::out_of_range for Port.
   */
  virtual int32_t QX25_CALL GetParam(int32_t Port, int32_t Nozzle, int32_t ParamNo);
  /**
   * Slot 18: writes by the host's combined number.
   * @param ParamNo 0..8: the common command ParamNo to every controller of the
   * line, Value 0..9, nothing answers. 9: programs a network address, Value =
   * ID number x 100 + new address (0..99), as SetNetAddress(). From 10 on:
   * parameter (ParamNo - 10) mod 60 of side (ParamNo - 10) / 60 + 1, Value 0
   * or more, sent in the code's digit count.
   * @par PortStatus
   * 1 (also after a common command that went out); 23 parameter refused; 24
   * address refused; or a line status.
   * @throws ESerialIO "Can't SetPar" (common command), "Can't GetParam"
   * (parameter), "Невозможно установить сетевой адрес пистолета" or
   * "Ошибка при программировании адреса пистолета" (address);
   * std::out_of_range for a negative ParamNo or Value, a common Value above
   * 9, an address above 99; std::runtime_error for a Nozzle above 32.
   */
  virtual void QX25_CALL SetPar(int32_t Port, int32_t Nozzle, int32_t ParamNo, int32_t Value);
  /**
   * Slot 19: resets the nozzle and starts it. SkipReset's low byte 0: a reset
   * ('8') to the side of the previous start, whose outcome does not matter,
   * then the preparation 'U', then the start '2' on Side; otherwise only the
   * start.
   * @param Side 0..4.
   * @par PortStatus
   * as StartPump(). A refused preparation sets 17 and the start still goes
   * out, whose status then replaces it; a preparation answered while the line
   * status is not 1 sends no start and leaves that status.
   * @throws ESerialIO "Can't START POMP" ('U' or '2'); the range errors.
   */
  virtual void QX25_CALL StartPumpWithReset(int32_t Port, int32_t Nozzle, int32_t Side,
                                            int32_t SkipReset);
  /**
   * Slot 20: one entry of the driver's fixed property table: kinds 1, 4, 5
   * give 1; 2, 3, 6 give 0; 7 gives 400; 9 gives 999999.
   * @param[out] Value set only when the kind exists.
   * @return whether the kind exists. No exchange, no lock; any thread.
   */
  virtual bool QX25_CALL GetDriverProperty(int32_t Kind, int32_t& Value);
  /**
   * Slot 21: polls the nozzle's sides 1..SideCount (request '1' each, with the
   * acknowledgement of a reported event) and merges their codes. A side that
   * reports the end of its delivery is closed by the poll: its final result
   * is read (as GetDeliveryResult()) and the nozzle reset.
   * @param Nozzle, SideCount their low bytes: 1..32 and 0..4.
   * @return State: 192 idle, 200 authorised, 208 + side delivering, 216
   * finished (closed by this poll), 216 + side stopped, 224 + side nozzle
   * lifted, or the controller's raw state; Codes per side, 0x100 for a side
   * not read; EventLetter; StateSide. The record is the caller's own even
   * when other callers share the port.
   * @par PortStatus
   * 1; 26 when a side answered without a status frame (the poll goes on with
   * the next side); or a line status, at which the poll stops.
   * @throws ESerialIO "Can't GetSost" (a status request), or
   * "Ошибка при запросе состояния отлива" (the closing result);
   * std::out_of_range for a SideCount above 4 and the range errors.
   */
  virtual TNozzlePoll QX25_CALL PollNozzle(int32_t Port, int32_t Nozzle, int32_t SideCount);
  /**
   * Slot 22: stops the delivery (request '3').
   * @param Side addresses the request, 0 as 1.
   * @param Confirm low byte 0: the call does nothing and checks nothing.
   * @par PortStatus
   * 1; 20 refused; or a line status.
   * @throws ESerialIO "Can't STOP POMP"; std::runtime_error for a Nozzle above
   * 32; std::out_of_range for Port.
   */
  virtual void QX25_CALL StopPump(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Confirm);
  /**
   * Slot 23: StopPump() through the table, then a reset ('8') of the side,
   * sent whether or not Confirm let the stop go out. A stop that fails throws
   * and sends no reset.
   * @return the reset's exchange result: 0 done, else the dispatcher's
   * failure code; a refused reset is 0.
   * @par PortStatus
   * that of the reset: 1 or a line status (a stop's 20 is replaced).
   * @throws what StopPump() throws.
   */
  virtual int32_t QX25_CALL StopPumpAndReset(int32_t Port, int32_t Nozzle, int32_t Side,
                                             int32_t Confirm);
  /**
   * Slot 24: adds the service window's menu entry, captioned
   * "Программирование параметров наливной", under the host's top-level
   * entry "&ТРК" (TCreateMenuItemFn says what each platform passes). Only the first call acts, also when it
   * finds no such entry or RootItem is null; the entry opens the window for
   * CurrentDriver.
   * @par Threads
   * the host's user-interface thread only (Qt: the QApplication's; Win32:
   * the thread of AppHandle's window).
   * @throws std::runtime_error (Qt) when the host has no QApplication;
   * std::invalid_argument when RootItem is not a widget of the application
   * or CreateMenuItemFn is null. The menu is then left for a later call.
   */
  virtual void QX25_CALL InstallMenu(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);
  /// Slot 25: reserved hook of the menu contract; does nothing.
  virtual void QX25_CALL SpareHookA(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);
  /// Slot 26: reserved hook of the menu contract; does nothing.
  virtual void QX25_CALL SpareHookB(void* RootItem, TCreateMenuItemFn CreateMenuItemFn);
  /// @}

  /// @name Ordinary operations, used by the service window, the tools and the tests
  /// @{

  /// The '8' request; returns the result of its exchange (0 = success), raises nothing.
  int32_t ResetNozzle(int32_t Port, int32_t Nozzle, int32_t Side);
  /// The one request/reply primitive: frames Buffer[0..RequestLength-1], sends
  /// it through the dispatcher and leaves the reply in Buffer, which must hold
  /// max(RequestLength, ReplyLength) bytes. Returns 0 on success. Sets
  /// PortStatus[Port] from the dispatcher's line status unless Transact threw.
  int32_t Exchange(uint8_t Port, uint8_t* Buffer, uint8_t RequestLength, uint8_t ReplyLength,
                   uint8_t ReplyMode);
  /// The reply handler registered before every exchange; never throws.
  bool ValidateReply(uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t& Length,
                     void* Unused2);
  /// A parameter by the controller's network address, for the service window
  /// and its workers. ReadParam gives the value, or -1 (a refusal sets
  /// PortStatus 23).
  int64_t ReadParam(uint8_t Mode, int32_t Port, int32_t Address, int32_t Code, int32_t Digits);
  /// WriteParam gives false when the exchange failed or, in mode lmParameter,
  /// when the controller refused the write (PortStatus 23).
  bool WriteParam(uint8_t Mode, int64_t Port, int64_t Address, int64_t Code, int64_t Digits,
                  int64_t Value);
  /// Writes parameter Index mod 60 of side Index / 60 + 1 ('W'); a refusal sets 23.
  void WriteCtrlParam(int32_t Port, int32_t Nozzle, int32_t Index, int32_t Value);
  /// Programs the network address of the controller with this ID number (']').
  void SetNetAddress(uint8_t Port, uint8_t Nozzle, int32_t IdNumber, int32_t NewAddress);
  /// Writes the calibration coefficient under its password and reads the
  /// confirmation back; returns it.
  int32_t WriteCalibration(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Value);
  /// The address dialog's rule: Nozzle + Dispenser - 1 (Dispenser 0 counts as 1).
  int32_t CalcNozzleAddress(int32_t Nozzle, int32_t Dispenser);
  /// The port-settings handler: SetLineParams(Port, 42, 4800). Takes no lock.
  int32_t ApplyPortSettings(uint8_t Port);
  /// @}

  /// @name State (read or written directly only while no command runs on that port)
  /// Tables are counted from 1, as the protocol counts ports, nozzles and
  /// sides; index 0 is unused.
  /// @{
  PortDispatcher* Dispatcher;        ///< the host's; never owned
  uint8_t NozzleSides[31][33];       ///< the side of each nozzle's last start
  double Prices[31][33][5];          ///< SetPrice()'s prices
  double PresetVolumes[31][33];      ///< the last accepted preset's litres
  double DeliveredVolumes[31][33];   ///< the last volume read
  uint8_t PortStatus[31];            ///< GetPortStatus()'s byte
  bool KeepStatusOnCan;              ///< bit 7 of GetQX25's Options
  uint8_t AddressStride;             ///< 1: the side's step in the address mapping
  uint8_t EventAckPending[31][33];   ///< the next poll acknowledges an event
  /// @}

  /// Deleting a driver first stops it being CurrentDriver, so that the
  /// service window never opens for a freed driver. Static: it adds nothing to
  /// the table or the object.
  static void operator delete(void* Driver) noexcept;
};

/// The driver built last; the service window opens for it. A driver the host
/// frees stops being CurrentDriver (then null) where the host's delete can
/// reach ForgetQX25: a host linked with libqx25.so. A host that loads the
/// library with dlopen(RTLD_LOCAL) cannot see it; such a host builds a new
/// driver, or removes its menu, before the menu item can open the window again.
extern QX25_EXPORT TQX25* CurrentDriver;

#if defined(__ELF__)
/// Weak, so that a host that does not link the library still loads.
extern "C" QX25_EXPORT void ForgetQX25(TQX25* Driver) noexcept __attribute__((weak));
#endif

inline void TQX25::operator delete(void* Driver) noexcept {
#if defined(__ELF__)
  if (ForgetQX25) ForgetQX25(static_cast<TQX25*>(Driver));
#endif
  ::operator delete(Driver);
}

/**
 * The library's one exported function: builds a new driver, which becomes
 * CurrentDriver. Each call makes an independent object with every table at 0.
 * @param Options only bit 7 of the low byte counts: KeepStatusOnCan.
 * @param AppHandle the host's main window (Qt: a QWidget* as an integer; Win32:
 * the HWND that owns the menu bar), or 0; the service window's owner.
 * @param Dispatcher the host's port dispatcher; it must outlive the driver.
 * @return the driver, which the host owns and frees with delete.
 */
extern "C" QX25_EXPORT TQX25* QX25_CALL GetQX25(uint32_t Options, uintptr_t AppHandle,
                                                PortDispatcher* Dispatcher);
