// Start-up and exit against a large user.reg: another program's key with
// 60,000 values (about 1.5 MB) beside the monitor's own.
//
//   build/plain/bench/bench_registry_bench

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "connection/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace tarvex;

const Text kKey = u"\\Software\\Halvik\\Tarvex";
const Text kValue = u"zadnji_izbran_COM_port";

template <typename F>
double Milliseconds(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  std::string root = (fs::temp_directory_path() / "tarvex-regbench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
  const fs::path folder = fs::path(root) / "Halvik" / "Tarvex";
  fs::create_directories(folder);
  {
    std::ofstream out(folder / "user.reg", std::ios::binary);
    out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other\\Program]\r\n";
    for (int i = 0; i < 60000; ++i) out << "\"setting_" << i << "\"=\"" << i << "\"\r\n";
    out << "\r\n[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\r\n\"zadnji_izbran_COM_port\"=dword:00000003\r\n";
  }
  const auto bytes = fs::file_size(folder / "user.reg");

  std::vector<double> startUp, exitWrite;
  std::int32_t port = 0;
  for (int run = 0; run < 11; ++run) {
    // What the settings window does when it is created, and the main window when it closes.
    startUp.push_back(Milliseconds([&] {
      auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
      if (reg->OpenKey(kKey, false) && reg->ValueExists(kValue)) reg->ReadInteger(kValue, port);
    }));
    exitWrite.push_back(Milliseconds([&] {
      auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
      if (reg->OpenKey(kKey, true)) reg->WriteInteger(kValue, 3 + run % 2);
    }));
  }
  std::printf("user.reg of %.2f MB, 60,000 values in another key; median of 11 runs\n", bytes / 1e6);
  std::printf("  start-up read (open, exists, read): %8.2f ms  (port read: %d)\n", Median(startUp), port);
  std::printf("  exit write (open or create, write): %8.2f ms\n", Median(exitWrite));
  std::printf("  file after the writes: %s\n",
              fs::file_size(folder / "user.reg") == bytes ? "same size, only the value changed" : "SIZE CHANGED");
  fs::remove_all(root);
  return 0;
}
