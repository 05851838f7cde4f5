#pragma once
// Runs tarvex-encoder-sim as a child process for a test:
//
//   TempConfigHome home;
//   SimProcess sim({"--layout", "46"}, home.path());
//   ASSERT_TRUE(sim.started());
//   ... open port sim.port() ...
//   sim.stop();   // SIGTERM; the destructor does it too
//
// The simulator links its pseudo-terminal as COM<n> under the given config
// home and prints "COM<n> <pts path>" as its first line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "e2e/temp_config_home.h"

extern char** environ;

namespace tarvex::test {

#ifdef TARVEX_SIM_PATH
inline constexpr const char* kSimPath = TARVEX_SIM_PATH;
#else
inline constexpr const char* kSimPath = "tarvex-encoder-sim";
#endif

struct SimRunResult {
  int exitCode = -1;  // 128 + signal when killed; -1 when it could not run
  std::string out;
  std::string err;
};

class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& args, const std::string& configHome, const std::string& simPath = kSimPath) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = Spawn(simPath, args, configHome, out[1], -1);
    close(out[1]);
    if (pid_ > 0) ParseFirstLine(ReadLine(out[0], std::chrono::seconds(20)));
    close(out[0]);
  }
  ~SimProcess() { stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // True once the simulator announced its port.
  bool started() const { return port_ != 0; }
  unsigned port() const { return port_; }
  const std::string& ptsPath() const { return pts_; }
  pid_t pid() const { return pid_; }

  // SIGTERM (or `sig`) and wait; a simulator that does not end within 10 s
  // is killed. Returns its exit code, 128 + signal if killed by one, -1 if
  // there was no process.
  int stop(int sig = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    pid_t r;
    while ((r = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (r == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ExitCode(status);
  }

  // Ends it the hard way: no clean-up in the simulator, its link stays.
  void kill9() { stop(SIGKILL); }

  // Runs the simulator to its end (for options it refuses, --help), with
  // stdout and stderr captured.
  static SimRunResult Run(const std::vector<std::string>& args, const std::string& configHome,
                          const std::string& simPath = kSimPath) {
    SimRunResult result;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      return result;
    }
    const pid_t pid = Spawn(simPath, args, configHome, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    if (pid > 0) {
      // Drain both pipes until the child closes them, for at most 20 s.
      pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
      std::string* sinks[2] = {&result.out, &result.err};
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while ((fds[0].fd >= 0 || fds[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
          if (fds[i].fd < 0 || fds[i].revents == 0) continue;
          char buf[512];
          const ssize_t n = read(fds[i].fd, buf, sizeof buf);
          if (n > 0) {
            sinks[i]->append(buf, static_cast<std::size_t>(n));
          } else {
            fds[i].fd = -1;
          }
        }
      }
      int status = 0;
      if (fds[0].fd >= 0 || fds[1].fd >= 0) kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.exitCode = ExitCode(status);
    }
    close(out[0]);
    close(err[0]);
    return result;
  }

 private:
  static int ExitCode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
  }

  static pid_t Spawn(const std::string& simPath, const std::vector<std::string>& args, const std::string& configHome,
                     int outFd, int errFd) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("XDG_CONFIG_HOME=" + configHome);
    std::vector<char*> argv{const_cast<char*>(simPath.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, simPath.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  static std::string ReadLine(int fd, std::chrono::milliseconds limit) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      if (read(fd, &c, 1) != 1) break;  // the simulator ended without a line
      if (c == '\n') return line;
      line += c;
    }
    return {};
  }

  void ParseFirstLine(const std::string& line) {
    unsigned n = 0;
    char path[256] = {};
    if (std::sscanf(line.c_str(), "COM%u %255s", &n, path) == 2) {
      port_ = n;
      pts_ = path;
    }
  }

  pid_t pid_ = -1;
  unsigned port_ = 0;
  std::string pts_;
};

}  // namespace tarvex::test
