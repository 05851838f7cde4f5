// Windows registry over advapi32.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "connection/registry.h"

namespace tarvex {

namespace {

// Longest value name the registry allows, plus the terminator.
constexpr DWORD kMaxValueNameChars = 16384;

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

Text FromWide(const wchar_t* s, std::size_t n) {
  Text out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(s[i]));
  return out;
}

class Win32Registry final : public Registry {
 public:
  Win32Registry(RootKey root, std::uint32_t access)
      : root_(root == RootKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE),
        access_(access) {}
  ~Win32Registry() override { CloseKey(); }
  Win32Registry(const Win32Registry&) = delete;
  Win32Registry& operator=(const Win32Registry&) = delete;

  bool OpenKeyReadOnly(const Text& path) override {
    bool relative = false;
    const std::wstring sub = SubPath(path, relative);
    HKEY key = nullptr;
    if (RegOpenKeyExW(Base(relative), sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ChangeKey(key);
    return true;
  }

  bool OpenKey(const Text& path, bool canCreate) override {
    bool relative = false;
    const std::wstring sub = SubPath(path, relative);
    HKEY key = nullptr;
    LONG rc;
    if (canCreate) {
      DWORD disposition = 0;
      rc = RegCreateKeyExW(Base(relative), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           static_cast<REGSAM>(access_), nullptr, &key, &disposition);
    } else {
      rc = RegOpenKeyExW(Base(relative), sub.c_str(), 0, static_cast<REGSAM>(access_), &key);
    }
    if (rc != ERROR_SUCCESS) return false;
    ChangeKey(key);
    return true;
  }

  std::vector<Text> GetValueNames() override {
    std::vector<Text> names;
    if (current_ == nullptr) return names;
    DWORD count = 0;
    if (RegQueryInfoKeyW(current_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return names;
    }
    names.reserve(count);
    // The largest buffer the registry can need, so a name that grows between
    // the query and the enumeration still fits.
    std::wstring buf(kMaxValueNameChars, L'\0');
    for (DWORD index = 0;; ++index) {
      DWORD len = kMaxValueNameChars;
      const LONG rc =
          RegEnumValueW(current_, index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) break;
      names.push_back(FromWide(buf.data(), len));
    }
    return names;
  }

  bool ValueExists(const Text& name) override {
    if (current_ == nullptr) return false;
    const std::wstring wname = Wide(name);
    return RegQueryValueExW(current_, wname.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }

  bool ReadString(const Text& name, Text& out) override {
    if (current_ == nullptr) return false;
    const std::wstring wname = Wide(name);
    // The value may change size between the two queries; try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0, bytes = 0;
      if (RegQueryValueExW(current_, wname.c_str(), nullptr, &type, nullptr, &bytes) !=
              ERROR_SUCCESS ||
          (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
      }
      std::wstring buf(bytes / sizeof(wchar_t) + 1, L'\0');
      DWORD got = bytes;
      const LONG rc = RegQueryValueExW(current_, wname.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buf.data()), &got);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
      // The stored data need not end in a terminator; the text ends at the first one.
      std::size_t n = got / sizeof(wchar_t);
      for (std::size_t i = 0; i < n; ++i) {
        if (buf[i] == L'\0') {
          n = i;
          break;
        }
      }
      out = FromWide(buf.data(), n);
      return true;
    }
    return false;
  }

  bool ReadInteger(const Text& name, std::int32_t& out) override {
    if (current_ == nullptr) return false;
    const std::wstring wname = Wide(name);
    DWORD type = 0, data = 0, bytes = sizeof data;
    if (RegQueryValueExW(current_, wname.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof data) {
      return false;
    }
    out = static_cast<std::int32_t>(data);
    return true;
  }

  bool WriteInteger(const Text& name, std::int32_t value) override {
    if (current_ == nullptr) return false;
    const std::wstring wname = Wide(name);
    const DWORD data = static_cast<DWORD>(value);
    return RegSetValueExW(current_, wname.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
  }

  void CloseKey() override {
    if (current_ != nullptr) RegCloseKey(current_);  // result not needed
    current_ = nullptr;
  }

 private:
  // A leading backslash means from the root; the API wants it gone.
  static std::wstring SubPath(const Text& path, bool& relative) {
    relative = path.empty() || path.front() != u'\\';
    return Wide(relative ? path : path.substr(1));
  }

  HKEY Base(bool relative) const { return relative && current_ != nullptr ? current_ : root_; }

  void ChangeKey(HKEY key) {
    CloseKey();
    current_ = key;
  }

  HKEY root_;
  std::uint32_t access_;
  HKEY current_ = nullptr;
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry(RootKey root, std::uint32_t access) {
  return std::make_unique<Win32Registry>(root, access);
}

}  // namespace tarvex
