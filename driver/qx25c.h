/* The driver's C interface: the 27 operations of TQX25 as plain C functions,
 * for a host in any language (Python's ctypes, Free Pascal, C, C#...), which
 * can neither catch a C++ exception nor build a C++ PortDispatcher.
 *
 * A handle owns a driver and the library's own serial dispatcher:
 *
 *   qx25_handle* h = qx25_open(0, 3, "/dev/ttyUSB0");   // port 3 on a device
 *   if (!h) { puts(qx25_last_error()); return 1; }
 *   if (qx25_set_price(h, 3, 1, 1, 0, 0, 52.30) != 0) puts(qx25_last_error());
 *   ...
 *   qx25_close(h);
 *
 * Each operation qx25_xxx takes the handle first, then the arguments of the
 * slot of the same name in QX25.h (a C++ reference becomes a pointer; a
 * record returned by value is written through a pointer instead), with the
 * same ranges and the same effects on the line and on PortStatus.
 *
 * Failure. No exception ever leaves this interface. A call that fails (the
 * driver raised, or the handle or an output pointer is null) returns the
 * failure value its declaration names and leaves the driver's message, UTF-8,
 * in qx25_last_error(). Most calls return 0 on success and -1 on failure;
 * those with a result of their own say what stands for failure. A
 * controller's refusal is no failure, as in the C++ interface: it shows in
 * qx25_get_port_status.
 *
 * Threads: as for TQX25 (QX25.h). qx25_last_error() is the calling thread's
 * own. A handle may be used from several threads, but qx25_close must be the
 * last call on it.
 *
 * Calling convention: QX25_CALL, stdcall on 32-bit Windows (WINAPI), the
 * platform's C convention elsewhere. The names are exported undecorated. */
#ifndef QX25_C_INTERFACE_H
#define QX25_C_INTERFACE_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QX25_CALL __stdcall
#else
#define QX25_CALL
#endif

#ifndef QX25_C_EXPORT
#if defined(_WIN32) && defined(QX25_BUILDING_DLL)
#define QX25_C_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define QX25_C_EXPORT
#else
#define QX25_C_EXPORT __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A driver with its own serial dispatcher. */
typedef struct qx25_handle qx25_handle;

/* TDriverInfo: a length byte and up to 27 Windows-1251 bytes. */
typedef struct qx25_driver_info {
  uint8_t length;
  char text[27];
} qx25_driver_info;

/* TNozzlePoll, byte for byte (16 bytes). */
typedef struct qx25_nozzle_poll {
  uint8_t state;
  uint8_t event_letter;
  uint16_t codes[4];
  uint8_t not_written[4];
  uint8_t state_side;
  uint8_t zero;
} qx25_nozzle_poll;

typedef void* (*qx25_create_menu_item_fn)(void* parent, int32_t position);
typedef void (*qx25_log_fn)(void* context, int32_t level, const char* line);

/* --- The handle --- */

/* A new driver (GetQX25 with Options, no host window) on a serial dispatcher
 * of its own, with Port (1..30) on Device: a device path (/dev/ttyUSB0, a
 * pseudo-terminal; on Windows also COMn), UTF-8. Port 0 with a null Device
 * maps nothing (qx25_set_device maps later): a port without a mapping uses
 * its default device (/dev/ttyS(n-1) on Linux, COMn on Windows). Nothing is
 * opened until the first exchange. Null on failure. */
QX25_C_EXPORT qx25_handle* QX25_CALL qx25_open(uint32_t options, int32_t port, const char* device);
/* Maps Port (1..30) to Device from the next exchange on; an empty or null
 * Device restores the default. 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_device(qx25_handle* handle, int32_t port,
                                                const char* device);
/* Frees the driver and then its dispatcher, closing its lines. No call may be
 * running on the handle. A null handle is ignored. */
QX25_C_EXPORT void QX25_CALL qx25_close(qx25_handle* handle);
/* The handle's driver as the C++ object, a TQX25* (null for a null handle):
 * for a host that calls the slots through the table itself. The handle keeps
 * owning it. */
QX25_C_EXPORT void* QX25_CALL qx25_driver(qx25_handle* handle);
/* The calling thread's last failure, UTF-8; empty after a call that
 * succeeded. Valid until the thread's next call into this interface. */
QX25_C_EXPORT const char* QX25_CALL qx25_last_error(void);
/* SetQX25Log (DriverLog.h): levels -1 off, 0 error, 1 warning, 2 info,
 * 3 debug; the callback uses the platform's C convention. 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_log(int32_t level, qx25_log_fn callback, void* context);

/* --- The operations, by slot --- */

/* 0: always fails (-1): the slot exists only to be overridden. */
QX25_C_EXPORT int32_t QX25_CALL qx25_abstract(qx25_handle* h);
/* 1: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_driver_info(qx25_handle* h, qx25_driver_info* info);
/* 2: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_port_status(qx25_handle* h, int32_t port, int32_t value);
/* 3: the status 0..255, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_port_status(qx25_handle* h, int32_t port);
/* 4: 1 or 0 (the slot's bool), or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_stop_nozzle(qx25_handle* h, int32_t port, int32_t nozzle,
                                                 int32_t confirm);
/* 5: the byte 0..255, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_spare_query(qx25_handle* h, int32_t arg);
/* 6: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_delivery_result(qx25_handle* h, int32_t port,
                                                         int32_t nozzle, double* volume,
                                                         double* money);
/* 7: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_total_counter(qx25_handle* h, int32_t port, int32_t nozzle,
                                                       int32_t side, double* total,
                                                       uint64_t* second, int32_t arg6,
                                                       int32_t arg7);
/* 8: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_total_counter(qx25_handle* h, int32_t port, int32_t nozzle,
                                                       int32_t side, double* value, int32_t arg5,
                                                       int32_t arg6, int32_t arg7);
/* 9: the volume, or NaN (Money is then untouched). */
QX25_C_EXPORT double QX25_CALL qx25_get_current_delivery(qx25_handle* h, int32_t port,
                                                         int32_t nozzle, double* money);
/* 10: the state 0..65535, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_nozzle_state(qx25_handle* h, int32_t port, int32_t nozzle);
/* 11: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_price(qx25_handle* h, int32_t port, int32_t nozzle,
                                               int32_t side, int32_t arg4, int32_t arg5,
                                               double price);
/* 12: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_spare_command(qx25_handle* h, int32_t arg1, int32_t arg2,
                                                   int32_t arg3);
/* 13: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_preset_volume(qx25_handle* h, int32_t port, int32_t nozzle,
                                                   int32_t side, int32_t extra, double volume);
/* 14: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_preset_money(qx25_handle* h, int32_t port, int32_t nozzle,
                                                  int32_t side, int32_t extra, double money);
/* 15: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_start_pump(qx25_handle* h, int32_t port, int32_t nozzle,
                                                int32_t side);
/* 16: the dispatcher's result (0 the settings were applied, else its failure
 * class, > 0), or INT32_MIN. */
QX25_C_EXPORT int32_t QX25_CALL qx25_setup_port(qx25_handle* h, int32_t port);
/* 17: the parameter's value (its low 32 bits; -1 for a number that cannot be
 * read, or a refusal), or INT32_MIN. A value that is itself INT32_MIN leaves
 * qx25_last_error() empty. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_param(qx25_handle* h, int32_t port, int32_t nozzle,
                                               int32_t param_no);
/* 18: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_set_par(qx25_handle* h, int32_t port, int32_t nozzle,
                                             int32_t param_no, int32_t value);
/* 19: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_start_pump_with_reset(qx25_handle* h, int32_t port,
                                                           int32_t nozzle, int32_t side,
                                                           int32_t skip_reset);
/* 20: 1 (Value written) or 0 (no such property), or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_get_driver_property(qx25_handle* h, int32_t kind,
                                                         int32_t* value);
/* 21: 0, or -1 (the record is then all zero). */
QX25_C_EXPORT int32_t QX25_CALL qx25_poll_nozzle(qx25_handle* h, int32_t port, int32_t nozzle,
                                                 int32_t side_count, qx25_nozzle_poll* poll);
/* 22: 0, or -1. */
QX25_C_EXPORT int32_t QX25_CALL qx25_stop_pump(qx25_handle* h, int32_t port, int32_t nozzle,
                                               int32_t side, int32_t confirm);
/* 23: the reset's result (0 success, else the exchange's failure), or
 * INT32_MIN. */
QX25_C_EXPORT int32_t QX25_CALL qx25_stop_pump_and_reset(qx25_handle* h, int32_t port,
                                                         int32_t nozzle, int32_t side,
                                                         int32_t confirm);
/* 24..26: 0, or -1. RootItem and the function as in QX25.h. */
QX25_C_EXPORT int32_t QX25_CALL qx25_install_menu(qx25_handle* h, void* root_item,
                                                  qx25_create_menu_item_fn create_menu_item);
QX25_C_EXPORT int32_t QX25_CALL qx25_spare_hook_a(qx25_handle* h, void* root_item,
                                                  qx25_create_menu_item_fn create_menu_item);
QX25_C_EXPORT int32_t QX25_CALL qx25_spare_hook_b(qx25_handle* h, void* root_item,
                                                  qx25_create_menu_item_fn create_menu_item);

#ifdef __cplusplus
}
#endif

#endif
