// The device side of the serial dispatcher on Windows, on the Win32
// communications API. A port's handle is kept as a C runtime descriptor
// (_open_osfhandle), so the dispatcher's port records and exchange loop are
// the ones the Linux build uses. Every wait is a ReadFile or WriteFile bounded
// by communication time-outs set from the caller's deadline.
#include <windows.h>
// After windows.h, which it needs.
#include <io.h>

#include <filesystem>

#include "SerialDevice.h"

namespace qx25::serial::device {

namespace {

// Trivially destructible, so safe in threads the host's runtime did not start.
thread_local int Reason = 0;

// Keeps Error as the reason of the failure Class being returned.
int32_t Fail(int32_t Class, DWORD Error) {
  Reason = static_cast<int>(Error);
  return Class;
}

constexpr int32_t kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// The longest single wait handed to the driver; a later deadline is reached in
// several waits.
constexpr DWORD kLongestWaitMs = MAXDWORD - 1;

HANDLE HandleOf(int Fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(Fd)); }

bool MissingDevice(DWORD Error) {
  return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND ||
         Error == ERROR_INVALID_NAME || Error == ERROR_BAD_PATHNAME ||
         Error == ERROR_DEV_NOT_EXIST || Error == ERROR_BAD_UNIT;
}

// An unplugged USB adapter fails every call on its handle with one of these;
// a device whose other end went away (a pseudo-terminal behind a COM link
// under Wine, its server restarted) with "not ready" or "no such device".
bool DeviceGone(DWORD Error) {
  return Error == ERROR_ACCESS_DENIED || Error == ERROR_BAD_COMMAND ||
         Error == ERROR_DEVICE_REMOVED || Error == ERROR_GEN_FAILURE ||
         Error == ERROR_OPERATION_ABORTED || Error == ERROR_FILE_NOT_FOUND ||
         Error == ERROR_NOT_READY || Error == ERROR_DEV_NOT_EXIST ||
         Error == ERROR_DEVICE_NOT_CONNECTED;
}

int32_t FailureOf(DWORD Error) {
  return Fail(DeviceGone(Error) ? kSerialDeviceLost : kSerialLineError, Error);
}

ReadResult ReadFailure(DWORD Error) {
  Reason = static_cast<int>(Error);
  return DeviceGone(Error) ? ReadResult::Gone : ReadResult::Failed;
}

// Milliseconds left until Deadline, rounded up so that no wait ends before
// it; 0 once it has passed.
DWORD MillisecondsLeft(Clock::time_point Deadline) {
  const auto left = Deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > kLongestWaitMs ? kLongestWaitMs : static_cast<DWORD>(ms);
}

// A read returns as soon as any byte is there, or after ReadMs with none
// (at once when ReadMs is 0); a write gives up after WriteMs (0: no limit,
// so callers pass at least 1).
bool SetWaits(HANDLE Handle, DWORD ReadMs, DWORD WriteMs) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = ReadMs == 0 ? 0 : MAXDWORD;
  t.ReadTotalTimeoutConstant = ReadMs;
  t.WriteTotalTimeoutConstant = WriteMs;
  return SetCommTimeouts(Handle, &t) != 0;
}

int32_t Configure(HANDLE Handle, int32_t Baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // Not a communications device: the counterpart of a descriptor that is no
  // terminal.
  if (!GetCommState(Handle, &dcb)) return Fail(kSerialNoDevice, GetLastError());
  dcb.BaudRate = static_cast<DWORD>(Baud);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(Handle, &dcb)) return Fail(kSerialBadSettings, GetLastError());
  return SetWaits(Handle, 0, 1) ? kSerialOk : Fail(kSerialLineError, GetLastError());
}

}  // namespace

int LastSystemError() { return Reason; }
void ClearSystemError() { Reason = 0; }

std::string SystemErrorText(int Code) {
  if (Code == 0) return {};
  char buffer[256] = {};
  const DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(Code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  // Windows ends its messages with a full stop and a line break.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "system error " + std::to_string(Code) : text;
}

bool KnownBaud(int32_t Baud) {
  for (const int32_t rate : kRates)
    if (rate == Baud) return true;
  return false;
}

int32_t Open(const std::string& Path, int32_t Baud, int& Fd, long& Holder) {
  Holder = 0;  // Windows does not say who holds a port
  if (!KnownBaud(Baud)) return kSerialBadSettings;
  if (Path.empty()) return kSerialNoDevice;
  std::wstring name;
  try {
    // Device names are UTF-8 here, as every other text; Windows takes UTF-16.
    name = std::filesystem::path(std::u8string(Path.begin(), Path.end())).wstring();
  } catch (const std::exception&) {
    return kSerialNoDevice;  // not UTF-8: no device can have that name
  }
  // A communications device opens exclusively, without overlapped I/O.
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Opened without sharing by another program: the same message as on Linux.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
      return Fail(kSerialInUse, error);
    return Fail(MissingDevice(error) ? kSerialNoDevice : kSerialLineError, error);
  }
  const int32_t r = Configure(handle, Baud);
  if (r != kSerialOk) {
    CloseHandle(handle);
    return r;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
  if (fd < 0) {
    CloseHandle(handle);
    return Fail(kSerialLineError, 0);  // the C runtime's failure: no Win32 code to keep
  }
  Fd = fd;
  return kSerialOk;
}

void Close(int Fd) {
  if (Fd >= 0) _close(Fd);  // closes the handle too
}

int32_t DiscardInput(int Fd) {
  return PurgeComm(HandleOf(Fd), PURGE_RXCLEAR | PURGE_RXABORT) ? kSerialOk
                                                                : FailureOf(GetLastError());
}

int32_t WriteAll(int Fd, const uint8_t* Bytes, size_t Count, Clock::time_point Deadline) {
  const HANDLE handle = HandleOf(Fd);
  size_t done = 0;
  while (done < Count) {
    const DWORD ms = MillisecondsLeft(Deadline);
    if (ms == 0) return Fail(kSerialLineError, 0);
    if (!SetWaits(handle, 0, ms)) return FailureOf(GetLastError());
    DWORD n = 0;
    if (!WriteFile(handle, Bytes + done, static_cast<DWORD>(Count - done), &n, nullptr))
      return FailureOf(GetLastError());
    done += n;
  }
  return kSerialOk;
}

int32_t Drain(int Fd) {
  return FlushFileBuffers(HandleOf(Fd)) ? kSerialOk : FailureOf(GetLastError());
}

ReadResult ReadSome(int Fd, uint8_t* Out, size_t Room, Clock::time_point Deadline, size_t& Got) {
  const HANDLE handle = HandleOf(Fd);
  const DWORD room = Room > MAXDWORD ? MAXDWORD : static_cast<DWORD>(Room);
  for (;;) {
    if (!SetWaits(handle, MillisecondsLeft(Deadline), 1)) return ReadFailure(GetLastError());
    DWORD n = 0;
    if (!ReadFile(handle, Out, room, &n, nullptr)) return ReadFailure(GetLastError());
    if (n > 0) {
      Got = n;
      return ReadResult::Data;
    }
    if (Clock::now() >= Deadline) return ReadResult::TimedOut;
  }
}

}  // namespace qx25::serial::device
