// Runs the built programs as a user would: qx25ctl to completion with its
// output and exit status collected, and qx25-sim in the background for as
// long as a test needs a line that outlives one qx25ctl run.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

struct RunResult {
  int Status = -1;  // the exit status; -1 when the program did not end by itself
  std::string Out;
  std::string Err;
};

// A bound that only a hung program reaches.
inline constexpr std::chrono::seconds kRunLimit{60};

namespace spawn_detail {

inline pid_t Start(const std::vector<std::string>& Command, int Out, int Err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, Out, 1);
  posix_spawn_file_actions_adddup2(&actions, Err, 2);
  std::vector<char*> argv;
  for (const std::string& a : Command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + Command[0]);
  return pid;
}

inline void Pipe(int (&Ends)[2]) {
  if (pipe2(Ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
}

}  // namespace spawn_detail

// Runs Command (the program's path first) and collects everything it prints.
inline RunResult Run(const std::vector<std::string>& Command) {
  int out[2], err[2];
  spawn_detail::Pipe(out);
  spawn_detail::Pipe(err);
  const pid_t pid = spawn_detail::Start(Command, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  RunResult r;
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  bool hung = false;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.Out, &r.Err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      hung = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  for (const pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  if (hung) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!hung && WIFEXITED(status)) r.Status = WEXITSTATUS(status);
  return r;
}

// qx25-sim on a pseudo-terminal of its own, stopped (by its id) when the
// object goes.
class BackgroundSimulator {
 public:
  explicit BackgroundSimulator(const std::vector<std::string>& Command) {
    int out[2];
    spawn_detail::Pipe(out);
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    Pid = spawn_detail::Start(Command, out[1], quiet);
    close(out[1]);
    close(quiet);
    // Its first line on stdout is the path of the line, printed once it answers.
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, static_cast<int>(kRunLimit.count() * 1000)) > 0 &&
           read(out[0], &c, 1) == 1 && c != '\n')
      Path += c;
    close(out[0]);
    if (Path.empty()) {
      Stop();
      throw std::runtime_error("qx25-sim printed no line path");
    }
  }
  ~BackgroundSimulator() { Stop(); }
  BackgroundSimulator(const BackgroundSimulator&) = delete;
  BackgroundSimulator& operator=(const BackgroundSimulator&) = delete;

  const std::string& DevicePath() const { return Path; }

 private:
  void Stop() {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }
  pid_t Pid = -1;
  std::string Path;
};

// The JSON object a --json run printed; an empty object when it is not one.
inline QJsonObject JsonOf(const std::string& Text, bool* Valid = nullptr) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(Text), &error);
  if (Valid) *Valid = error.error == QJsonParseError::NoError && doc.isObject();
  return doc.object();
}

// qx25ctl with Args.
inline RunResult Ctl(std::vector<std::string> Args) {
  Args.insert(Args.begin(), QX25CTL_PATH);
  return Run(Args);
}

// True when a --trace run shows a request frame going out.
inline bool SentAnything(const RunResult& R) { return R.Err.find(" -> ") != std::string::npos; }

// A new directory of its own under the temporary directory, "Prefix-XXXXXX".
inline std::filesystem::path MakeTempDir(const std::string& Prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
  return pattern;
}
