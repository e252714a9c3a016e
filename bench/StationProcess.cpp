#include "StationProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <sstream>
#include <stdexcept>

namespace qx25::bench {

namespace {

// The child's report starts with this when its station failed.
constexpr char kFailureMark = '!';

void WriteAll(int Fd, const std::string& Text) {
  size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = write(Fd, Text.data() + done, Text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string ReadAll(int Fd) {
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t n = read(Fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

// The child: serves the station until the control pipe reaches its end.
[[noreturn]] void ServeStation(int Lines, const sim::BuiltInSimulatorOptions& Options, int Report,
                               int Control) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a parent that was killed
  int status = 0;
  try {
    sim::SimulatedStation station(Lines, Options);
    std::string paths;
    for (int k = 1; k <= station.LineCount(); ++k) paths += station.DevicePath(k) + '\n';
    WriteAll(Report, paths);
    close(Report);
    for (;;) {
      char byte;
      const ssize_t n = read(Control, &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
    }
  } catch (const std::exception& e) {
    WriteAll(Report, std::string(1, kFailureMark) + e.what());
    status = 1;
  }
  _exit(status);
}

}  // namespace

StationProcess::StationProcess(int Lines, const sim::BuiltInSimulatorOptions& Options) {
  int report[2], control[2];
  if (pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  if (pipe2(control, O_CLOEXEC) != 0) {
    close(report[0]);
    close(report[1]);
    throw std::runtime_error("no pipe");
  }
  Child = fork();
  if (Child < 0) {
    for (const int fd : {report[0], report[1], control[0], control[1]}) close(fd);
    throw std::runtime_error(std::string("cannot fork the station: ") + std::strerror(errno));
  }
  if (Child == 0) {
    close(report[0]);
    close(control[1]);
    ServeStation(Lines, Options, report[1], control[0]);
  }
  close(report[1]);
  close(control[0]);
  Control = control[1];
  const std::string text = ReadAll(report[0]);
  close(report[0]);

  std::istringstream lines(text);
  for (std::string path; std::getline(lines, path);) Paths.push_back(path);
  if (text.empty() || text.front() == kFailureMark || static_cast<int>(Paths.size()) != Lines) {
    const std::string reason = text.empty()                   ? "it ended without a word"
                               : text.front() == kFailureMark ? text.substr(1)
                                                              : "it gave " + text;
    close(Control);
    waitpid(Child, nullptr, 0);
    throw std::runtime_error("the simulated station did not start: " + reason);
  }
}

StationProcess::~StationProcess() {
  close(Control);
  waitpid(Child, nullptr, 0);
}

}  // namespace qx25::bench
