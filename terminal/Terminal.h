// POSIX terminals, as the serial dispatcher, the simulator and the tests all
// set them up: baud rates, raw 8N1 lines and pseudo-terminals. One place, so
// that the host's side and the controllers' side of a line never disagree.
#pragma once

#include <termios.h>

#include <optional>
#include <string>

namespace qx25::terminal {

// The speed code of a baud rate a line can run at (1200 to 115200); none for
// any other rate.
std::optional<speed_t> SpeedCode(int Baud);

enum class RawResult {
  Done,
  CannotOpen,       // open failed: errno says why
  NotATerminal,     // tcgetattr failed: errno says why
  SettingsRefused,  // the device would not take the settings: errno says why
};
// Raw 8N1 at Speed: no echo, no line editing, no character translation, no
// hardware or software flow control, modem lines ignored.
RawResult MakeRaw(int Fd, speed_t Speed);

// Opens Path read-write, non-blocking, close-on-exec and never as the
// controlling terminal, and makes it raw at Speed. Fd is the caller's to
// close; it is -1 when Result is not Done, and nothing stays open.
struct RawLine {
  int Fd = -1;
  RawResult Result = RawResult::CannotOpen;
};
RawLine OpenRaw(const std::string& Path, speed_t Speed);

// A fresh pseudo-terminal: the master descriptor (close-on-exec, owned by the
// caller) and the path of its slave side ("/dev/pts/N").
struct PseudoTerminal {
  int Master = -1;
  std::string SlavePath;
};
// Throws std::system_error when the system gives none.
PseudoTerminal OpenPseudoTerminal();

}  // namespace qx25::terminal
