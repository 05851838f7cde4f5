#pragma once
// Small pieces the end-to-end tests share.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/transactions.h"

namespace tarvex::test {

// The two settings the transactions read, fixed for a test.
struct FixedSettings : TransactionSettings {
  FixedSettings(int layout, bool echo) : layout(layout), echo(echo) {}
  int FirmwareType() const override { return layout; }
  bool Rs485Echo() const override { return echo; }
  int layout;
  bool echo;
};

// Milliseconds a call takes.
template <typename F>
long long ElapsedMs(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

// A pseudo-terminal whose master side the test itself holds: whatever the
// program writes to the port can be read here, and the other way round.
class MasterPty {
 public:
  MasterPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
      return;
    }
    slavePath_ = name;
  }
  ~MasterPty() { closeMaster(); }
  MasterPty(const MasterPty&) = delete;
  MasterPty& operator=(const MasterPty&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  void closeMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Reads until `n` bytes came or 5 s passed.
  std::string read(std::size_t n) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buf[512];
      const ssize_t r = ::read(master_, buf, sizeof buf);
      if (r > 0) got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace tarvex::test
