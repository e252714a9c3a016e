// Root opens any file whatever its mode, so a test of a device this user may
// not open lays down, for the calling thread, the capabilities that override
// file modes. Capabilities are a thread's own (threads it starts meanwhile
// inherit the lowered set); the destructor takes them up again. Without root
// it changes nothing, and file modes bind anyway. Linux only.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class FileModesBind {
 public:
  FileModesBind() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capget, &head, Saved) != 0) return;
    __user_cap_data_struct lowered[2] = {Saved[0], Saved[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    Lowered = syscall(SYS_capset, &head, lowered) == 0;
  }
  ~FileModesBind() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    if (Lowered) syscall(SYS_capset, &head, Saved);
  }
  FileModesBind(const FileModesBind&) = delete;
  FileModesBind& operator=(const FileModesBind&) = delete;

 private:
  __user_cap_data_struct Saved[2] = {};
  bool Lowered = false;
};
