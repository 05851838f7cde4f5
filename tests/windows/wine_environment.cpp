#include "wine_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tarvex::wintest {

namespace {

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    ADD_FAILURE() << name << " is not set: run the tests through scripts/test_windows.sh";
    return nullptr;
  }
  return value;
}

std::wstring WideFromUtf8(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

}  // namespace

unsigned PortFromEnvironment(const char* name) {
  const char* value = Variable(name);
  if (value == nullptr) return 0;
  char* end = nullptr;
  const unsigned long n = std::strtoul(value, &end, 10);
  if (*end != '\0' || n == 0 || n > 255) {
    ADD_FAILURE() << name << "=" << value << " is not a port number";
    return 0;
  }
  return static_cast<unsigned>(n);
}

std::vector<std::pair<std::wstring, std::wstring>> PairsFromEnvironment(const char* name) {
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  const char* value = Variable(name);
  if (value == nullptr) return pairs;
  std::string rest = value;
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    const std::string item = rest.substr(0, end);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) {
      ADD_FAILURE() << name << ": no '=' in " << item;
      continue;
    }
    pairs.emplace_back(WideFromUtf8(item.substr(0, eq)), WideFromUtf8(item.substr(eq + 1)));
  }
  return pairs;
}

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

Text FromWide(const std::wstring& text) { return Text(text.begin(), text.end()); }

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

}  // namespace tarvex::wintest
