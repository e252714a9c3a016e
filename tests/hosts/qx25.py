"""The dispenser driver from Python, through its C interface (qx25c.h).

Standard library only (ctypes). A failed call raises QX25Error carrying the
driver's own message; a controller's refusal is no exception, it shows in
port_status(), as for every host.

    with qx25.Driver(port=3, device="/dev/ttyUSB0") as d:
        d.set_price(3, 1, 1, 0, 0, 52.30)
        d.preset_volume(3, 1, 1, 0, 10)
        d.start_pump(3, 1, 1)
        while d.poll_nozzle(3, 1, 1).state != 216: ...
        volume, money = d.get_delivery_result(3, 1)

The library is QX25_LIBRARY if set, else libqx25.so.2 (qx25.dll on Windows)
from the loader's path.
"""

import ctypes
import math
import os
import sys

_INT_MIN = -(2**31)


class QX25Error(RuntimeError):
    """A call the driver failed; str() is its message (UTF-8 decoded)."""


class DriverInfo(ctypes.Structure):
    _fields_ = [("length", ctypes.c_uint8), ("text", ctypes.c_char * 27)]


class NozzlePoll(ctypes.Structure):
    _fields_ = [
        ("state", ctypes.c_uint8),
        ("event_letter", ctypes.c_uint8),
        ("codes", ctypes.c_uint16 * 4),
        ("not_written", ctypes.c_uint8 * 4),
        ("state_side", ctypes.c_uint8),
        ("zero", ctypes.c_uint8),
    ]


LOG_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p)


def _load(path=None):
    path = path or os.environ.get("QX25_LIBRARY") or (
        "qx25.dll" if sys.platform == "win32" else "libqx25.so.2")
    # QX25_CALL is stdcall on 32-bit Windows only.
    if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4:
        return ctypes.WinDLL(path)
    return ctypes.CDLL(path)


_i32, _u32, _dbl, _ptr = ctypes.c_int32, ctypes.c_uint32, ctypes.c_double, ctypes.c_void_p
_pd, _pi = ctypes.POINTER(ctypes.c_double), ctypes.POINTER(ctypes.c_int32)

# Each function's result type, the arguments after the handle, and how its
# failure reads (qx25c.h).
_ok = lambda r: r == 0  # noqa: E731
_nonneg = lambda r: r >= 0  # noqa: E731
_not_min = lambda r: r != _INT_MIN  # noqa: E731
_SIGNATURES = {
    "abstract": (_i32, [], _ok),
    "get_driver_info": (_i32, [ctypes.POINTER(DriverInfo)], _ok),
    "set_port_status": (_i32, [_i32, _i32], _ok),
    "get_port_status": (_i32, [_i32], _nonneg),
    "stop_nozzle": (_i32, [_i32, _i32, _i32], _nonneg),
    "spare_query": (_i32, [_i32], _nonneg),
    "get_delivery_result": (_i32, [_i32, _i32, _pd, _pd], _ok),
    "get_total_counter": (_i32, [_i32, _i32, _i32, _pd, ctypes.POINTER(ctypes.c_uint64),
                                 _i32, _i32], _ok),
    "set_total_counter": (_i32, [_i32, _i32, _i32, _pd, _i32, _i32, _i32], _ok),
    "get_current_delivery": (_dbl, [_i32, _i32, _pd], lambda r: not math.isnan(r)),
    "get_nozzle_state": (_i32, [_i32, _i32], _nonneg),
    "set_price": (_i32, [_i32, _i32, _i32, _i32, _i32, _dbl], _ok),
    "spare_command": (_i32, [_i32, _i32, _i32], _ok),
    "preset_volume": (_i32, [_i32, _i32, _i32, _i32, _dbl], _ok),
    "preset_money": (_i32, [_i32, _i32, _i32, _i32, _dbl], _ok),
    "start_pump": (_i32, [_i32, _i32, _i32], _ok),
    "setup_port": (_i32, [_i32], _not_min),
    "get_param": (_i32, [_i32, _i32, _i32], None),  # INT32_MIN may be a value
    "set_par": (_i32, [_i32, _i32, _i32, _i32], _ok),
    "start_pump_with_reset": (_i32, [_i32, _i32, _i32, _i32], _ok),
    "get_driver_property": (_i32, [_i32, _pi], _nonneg),
    "poll_nozzle": (_i32, [_i32, _i32, _i32, ctypes.POINTER(NozzlePoll)], _ok),
    "stop_pump": (_i32, [_i32, _i32, _i32, _i32], _ok),
    "stop_pump_and_reset": (_i32, [_i32, _i32, _i32, _i32], _not_min),
}


class Driver:
    """A driver on the library's own serial dispatcher (qx25_open)."""

    def __init__(self, port=0, device=None, options=0, library=None):
        self._lib = lib = _load(library)
        lib.qx25_last_error.restype = ctypes.c_char_p
        lib.qx25_last_error.argtypes = []
        lib.qx25_open.restype = _ptr
        lib.qx25_open.argtypes = [_u32, _i32, ctypes.c_char_p]
        lib.qx25_close.argtypes = [_ptr]
        lib.qx25_set_device.argtypes = [_ptr, _i32, ctypes.c_char_p]
        lib.qx25_driver.restype = _ptr
        lib.qx25_driver.argtypes = [_ptr]
        for name, (restype, args, _) in _SIGNATURES.items():
            fn = getattr(lib, "qx25_" + name)
            fn.restype, fn.argtypes = restype, [_ptr] + args
        self._handle = lib.qx25_open(options, port, device.encode() if device else None)
        if not self._handle:
            raise QX25Error(self._error())

    def _error(self):
        return self._lib.qx25_last_error().decode("utf-8", "replace")

    def _call(self, name, *args):
        _, _, ok = _SIGNATURES[name]
        result = getattr(self._lib, "qx25_" + name)(self._handle, *args)
        # Where no value stands for failure, an empty message says success.
        failed = not ok(result) if ok else self._lib.qx25_last_error() != b""
        if failed:
            raise QX25Error(self._error())
        return result

    def close(self):
        if self._handle:
            self._lib.qx25_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def table_object(self):
        """The TQX25* behind the handle, for a host that calls slots itself."""
        return self._lib.qx25_driver(self._handle)

    def set_device(self, port, device):
        if self._lib.qx25_set_device(self._handle, port, device.encode()) != 0:
            raise QX25Error(self._error())

    def driver_info(self):
        info = DriverInfo()
        self._call("get_driver_info", ctypes.byref(info))
        return info.text[: info.length].decode("cp1251")

    def port_status(self, port):
        return self._call("get_port_status", port)

    def set_port_status(self, port, value):
        self._call("set_port_status", port, value)

    def setup_port(self, port):
        return self._call("setup_port", port)

    def set_price(self, port, nozzle, side, a4, a5, price):
        self._call("set_price", port, nozzle, side, a4, a5, price)

    def preset_volume(self, port, nozzle, side, extra, volume):
        self._call("preset_volume", port, nozzle, side, extra, volume)

    def preset_money(self, port, nozzle, side, extra, money):
        self._call("preset_money", port, nozzle, side, extra, money)

    def start_pump(self, port, nozzle, side):
        self._call("start_pump", port, nozzle, side)

    def stop_pump(self, port, nozzle, side, confirm=0):
        self._call("stop_pump", port, nozzle, side, confirm)

    def poll_nozzle(self, port, nozzle, side_count):
        poll = NozzlePoll()
        self._call("poll_nozzle", port, nozzle, side_count, ctypes.byref(poll))
        return poll

    def get_nozzle_state(self, port, nozzle):
        return self._call("get_nozzle_state", port, nozzle)

    def get_current_delivery(self, port, nozzle):
        money = ctypes.c_double()
        volume = self._call("get_current_delivery", port, nozzle, ctypes.byref(money))
        return volume, money.value

    def get_delivery_result(self, port, nozzle):
        volume, money = ctypes.c_double(), ctypes.c_double()
        self._call("get_delivery_result", port, nozzle, ctypes.byref(volume), ctypes.byref(money))
        return volume.value, money.value

    def get_total_counter(self, port, nozzle, side):
        total, second = ctypes.c_double(), ctypes.c_uint64()
        self._call("get_total_counter", port, nozzle, side, ctypes.byref(total),
                   ctypes.byref(second), 0, 0)
        return total.value, second.value

    def get_param(self, port, nozzle, param_no):
        return self._call("get_param", port, nozzle, param_no)

    def set_par(self, port, nozzle, param_no, value):
        self._call("set_par", port, nozzle, param_no, value)

    def get_driver_property(self, kind):
        value = ctypes.c_int32()
        return value.value if self._call("get_driver_property", kind, ctypes.byref(value)) else None
