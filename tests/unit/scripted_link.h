#pragma once
// A serial link driven by a script: what arrives before each queue query,
// how much each read delivers, and the ticks the clock reports.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/transactions.h"

namespace tarvex::testing {

class ScriptedLink : public SerialLink {
 public:
  std::deque<std::string> arrivals;  // bytes that arrive before each queue query after the request
  std::deque<std::string> backlog;   // the same, before the request is written
  std::string queue;                 // received, not yet read
  std::uint32_t readLimit = UINT32_MAX;  // most bytes a single read delivers
  std::uint32_t readClaimsMore = 0;     // added to the count a read reports
  std::uint32_t writeError = 0;
  std::uint32_t now = 0;
  std::uint32_t step = 1;  // tick advance per reading
  std::vector<std::string> calls;
  int passes = 0;
  bool written = false;

  void PurgeTransmit(PortHandle) override { calls.push_back("purge-tx"); }
  void PurgeReceive(PortHandle) override {
    calls.push_back("purge-rx");
    queue.clear();
  }
  std::uint32_t WriteByte(PortHandle, std::uint8_t byte) override {
    calls.push_back(std::string("write:") + static_cast<char>(byte));
    written = writeError == 0;
    return writeError;
  }
  std::uint32_t QueuedCount(PortHandle) override {
    ++passes;
    auto& source = written ? arrivals : backlog;
    if (!source.empty()) {
      queue += source.front();
      source.pop_front();
    }
    return static_cast<std::uint32_t>(queue.size());
  }
  std::uint32_t Read(PortHandle, std::uint8_t* buf, std::uint32_t n) override {
    const std::uint32_t k = std::min({n, readLimit, static_cast<std::uint32_t>(queue.size())});
    std::copy_n(queue.begin(), k, buf);
    queue.erase(0, k);
    return k + readClaimsMore;
  }
  std::uint32_t Tick() override {
    const std::uint32_t t = now;
    now += step;  // wraps modulo 2^32 by design
    return t;
  }
};

struct FixedSettings : TransactionSettings {
  int firmware = 2;
  bool echo = false;
  mutable int firmwareReads = 0;
  mutable int echoReads = 0;
  int FirmwareType() const override {
    ++firmwareReads;
    return firmware;
  }
  bool Rs485Echo() const override {
    ++echoReads;
    return echo;
  }
};

inline std::string Packet(std::int32_t position, std::uint16_t status, std::uint8_t header = 0xEA,
                          std::uint8_t footer = 0xEF) {
  const auto p = static_cast<std::uint32_t>(position);
  return {static_cast<char>(header),          static_cast<char>(p >> 24), static_cast<char>(p >> 16),
          static_cast<char>(p >> 8),          static_cast<char>(p),       static_cast<char>(status >> 8),
          static_cast<char>(status & 0xFF),   static_cast<char>(footer)};
}

}  // namespace tarvex::testing
