// Caption identity on Windows: the executable's version resource, the NetBIOS
// computer name and the logged-on user.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "ui/system_info.h"

namespace tarvex {

namespace {

Text FromWide(const wchar_t* s) {
  Text out;
  for (; *s != L'\0'; ++s) out.push_back(static_cast<char16_t>(*s));
  return out;
}

std::wstring OwnPath() {
  // Paths may be longer than MAX_PATH; grow until the name fits.
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) return std::wstring(buf.data(), n);
    if (buf.size() >= 32768) return std::wstring();
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

Text FileVersionTextOf(const std::wstring& exePath) {
  Text version;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(exePath.c_str(), &handle);
  if (size == 0) return version;
  std::vector<BYTE> block(size, 0);
  GetFileVersionInfoW(exePath.c_str(), 0, size, block.data());
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &len) &&
      info != nullptr && len >= sizeof(VS_FIXEDFILEINFO)) {
    version = UIntToText(HIWORD(info->dwFileVersionMS)) + u"." +
              UIntToText(LOWORD(info->dwFileVersionMS)) + u"." +
              UIntToText(HIWORD(info->dwFileVersionLS)) + u"." +
              UIntToText(LOWORD(info->dwFileVersionLS));
  }
  return version;
}

Text ProgramVersionText() {
  const std::wstring path = OwnPath();
  return path.empty() ? Text() : FileVersionTextOf(path);
}

Text ComputerNameText() {
  wchar_t buf[16] = {};
  DWORD size = 16;
  GetComputerNameW(buf, &size);
  buf[15] = L'\0';
  return FromWide(buf);
}

Text UserNameText() {
  wchar_t buf[256] = {};
  DWORD size = 256;
  GetUserNameW(buf, &size);
  buf[255] = L'\0';
  return FromWide(buf);
}

}  // namespace tarvex
