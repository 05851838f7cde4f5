// tarvex-encoder-sim: an encoder on a pseudo-terminal, for tests and for
// anyone without a readhead at hand. See --help.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <random>
#include <string>

#include "connection/port_folder_posix.h"
#include "encoder_model.h"
#include "sim_options.h"

namespace {

using namespace tarvex;
using namespace tarvex::sim;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

volatile sig_atomic_t gStop = 0;
void OnStopSignal(int) { gStop = 1; }

struct Pty {
  int master = -1;
  int slave = -1;  // held open ourselves, so a closing client never hangs up the master
  std::string path;
};

bool OpenPty(Pty& pty, std::string& error) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
    error = std::string("pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128];
  if (ptsname_r(pty.master, name, sizeof name) != 0) {
    error = std::string("ptsname: ") + std::strerror(errno);
    return false;
  }
  pty.path = name;
  pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t {};
  if (pty.slave < 0 || tcgetattr(pty.slave, &t) != 0) {
    error = "cannot open " + pty.path + ": " + std::strerror(errno);
    return false;
  }
  cfmakeraw(&t);  // every byte passes unchanged until the client sets its own mode
  tcsetattr(pty.slave, TCSANOW, &t);
  fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
  return true;
}

bool IsDangling(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool PointsAt(const std::string& link, const std::string& target) {
  char buf[256];
  const ssize_t len = readlink(link.c_str(), buf, sizeof buf);
  return len > 0 && std::string(buf, static_cast<std::size_t>(len)) == target;
}

// Links COM<n> to the pty: the requested number, or the lowest one that has
// no entry or only a dangling link. Returns 0 on failure.
unsigned ClaimLink(unsigned requested, const std::string& target, std::string& error) {
  if (!MakeFolders(PortFolder())) {
    error = "cannot create " + PortFolder();
    return 0;
  }
  const unsigned first = requested != 0 ? requested : 1;
  const unsigned last = requested != 0 ? requested : 999999;
  for (unsigned n = first; n <= last; ++n) {
    const std::string link = PortLinkPath(n);
    // A link left by a killed simulator dangles, or already names this very
    // pseudo-terminal when the system handed its number out again.
    if (IsDangling(link) || PointsAt(link, target)) unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) == 0) return n;
    if (errno != EEXIST) {
      error = "cannot link " + link + ": " + std::strerror(errno);
      return 0;
    }
  }
  error = requested != 0 ? "COM" + std::to_string(requested) + " is taken" : "no free port number";
  return 0;
}

void ReleaseLink(unsigned n, const std::string& target) {
  const std::string link = PortLinkPath(n);
  // Someone may have pointed the number elsewhere meanwhile: leave theirs.
  if (PointsAt(link, target)) unlink(link.c_str());
}

class Encoder {
 public:
  Encoder(const Options& o, int master) : o_(o), master_(master), started_(Clock::now()), rng_(std::random_device{}()) {
    nextNoise_ = started_ + milliseconds(20);
  }

  void Run() {
    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    bool readable = true;  // false after the master reports a hang-up
    while (!gStop) {
      if (!readable) {
        // No one on the other end: back off instead of spinning on POLLHUP.
        const timespec pause {0, 50 * 1000000L};
        ppoll(nullptr, 0, &pause, &waitMask);
        readable = true;
        continue;
      }
      const auto now = Clock::now();
      if (o_.noise && queue_.empty() && now >= nextNoise_) AddNoise(now);
      const bool blocked = !Flush(now);
      if (o_.flood && !blocked && queue_.empty()) FloodOnce();

      auto wait = milliseconds(500);
      if (!queue_.empty() && !blocked) wait = std::min(wait, Until(queue_.front().due, now));
      if (o_.noise) wait = std::min(wait, Until(nextNoise_, now));

      pollfd p {master_, static_cast<short>(POLLIN | (blocked || o_.flood ? POLLOUT : 0)), 0};
      const timespec ts {static_cast<time_t>(wait.count() / 1000), static_cast<long>(wait.count() % 1000) * 1000000L};
      const int r = ppoll(&p, 1, &ts, &waitMask);
      if (r < 0) continue;  // a signal: the loop condition decides
      if (p.revents & POLLIN) {
        readable = ReadRequests();
      } else if (p.revents & (POLLHUP | POLLERR)) {
        readable = false;
      }
    }
  }

 private:
  struct Piece {
    Clock::time_point due;
    std::string bytes;
  };

  static milliseconds Until(Clock::time_point t, Clock::time_point now) {
    return t <= now ? milliseconds(0) : std::chrono::ceil<milliseconds>(t - now);
  }

  void Enqueue(Clock::time_point due, std::string bytes) {
    // Pieces go out in the order they were made.
    if (!queue_.empty() && due < queue_.back().due) due = queue_.back().due;
    queue_.push_back({due, std::move(bytes)});
  }

  // Writes what is due; false when the link takes no more for now.
  bool Flush(Clock::time_point now) {
    while (!queue_.empty() && queue_.front().due <= now) {
      auto& bytes = queue_.front().bytes;
      const ssize_t n = write(master_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes.erase(0, static_cast<std::size_t>(n));
      if (bytes.empty()) queue_.pop_front();
    }
    return true;
  }

  bool ReadRequests() {
    unsigned char buf[4096];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    const auto now = Clock::now();
    for (ssize_t i = 0; i < n; ++i) OnRequest(buf[i], now);
    return true;
  }

  void OnRequest(unsigned char byte, Clock::time_point now) {
    if (o_.echo) Enqueue(now, std::string(1, static_cast<char>(byte)));
    if (o_.silent || o_.flood) return;
    std::string reply;
    if (byte == 'v') {
      reply = IdentificationReply(o_);
    } else if (byte == '1') {
      ++positionReplies_;
      const bool spoil = o_.corrupt != Corrupt::None && positionReplies_ % o_.every == 0;
      reply = PositionPacket(PositionAt(o_, Elapsed(now)), o_.status, spoil ? o_.corrupt : Corrupt::None);
    } else {
      return;
    }
    auto due = now + milliseconds(o_.delayMs);
    if (!o_.chunked) {
      Enqueue(due, std::move(reply));
      return;
    }
    const std::size_t cut1 = reply.size() / 3, cut2 = 2 * reply.size() / 3;
    std::uniform_int_distribution<int> gap(2, 5);
    Enqueue(due, reply.substr(0, cut1));
    due += milliseconds(gap(rng_));
    Enqueue(due, reply.substr(cut1, cut2 - cut1));
    due += milliseconds(gap(rng_));
    Enqueue(due, reply.substr(cut2));
  }

  void AddNoise(Clock::time_point now) {
    std::uniform_int_distribution<int> count(1, 4), byte(0, 255), gap(15, 25);
    std::string bytes;
    for (int i = count(rng_); i > 0; --i) bytes += static_cast<char>(byte(rng_));
    Enqueue(now, std::move(bytes));
    nextNoise_ = now + milliseconds(gap(rng_));
  }

  void FloodOnce() {
    std::string block;
    const auto packet = PositionPacket(PositionAt(o_, Elapsed(Clock::now())), o_.status, Corrupt::None);
    while (block.size() < 64 * 1024) block += packet;
    Enqueue(Clock::now(), std::move(block));
    Flush(Clock::now());
  }

  std::uint64_t Elapsed(Clock::time_point now) const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<milliseconds>(now - started_).count());
  }

  const Options& o_;
  int master_;
  Clock::time_point started_;
  Clock::time_point nextNoise_;
  std::mt19937 rng_;
  std::deque<Piece> queue_;
  std::uint64_t positionReplies_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  switch (ParseOptions(argc, argv, options, error)) {
    case ParseResult::Help:
      std::fputs(UsageText(), stdout);
      return 0;
    case ParseResult::Bad:
      std::fprintf(stderr, "tarvex-encoder-sim: %s (see --help)\n", error.c_str());
      return 2;
    case ParseResult::Run:
      break;
  }

  // The stop signals only arrive inside ppoll, so no reply is cut short by
  // one and none is lost between the check and the wait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Pty pty;
  if (!OpenPty(pty, error)) {
    std::fprintf(stderr, "tarvex-encoder-sim: %s\n", error.c_str());
    return 1;
  }
  const unsigned port = ClaimLink(options.port, pty.path, error);
  if (port == 0) {
    std::fprintf(stderr, "tarvex-encoder-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("COM%u %s\n", port, pty.path.c_str());
  std::fflush(stdout);

  Encoder(options, pty.master).Run();

  ReleaseLink(port, pty.path);
  close(pty.slave);
  close(pty.master);
  return 0;
}
