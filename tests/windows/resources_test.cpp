// The executable's own resources, read back at run time as the caption and
// the system read them: version information, manifest and icon.

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "ui/system_info.h"
#include "wine_environment.h"

namespace tarvex {
namespace {

using wintest::ProgramDirectory;

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

TEST(VersionResource, CaptionReadsTheFixedFileVersion) {
  EXPECT_EQ(ProgramVersionText(), u"46.1.0.8");
  EXPECT_EQ(FileVersionTextOf(OwnPath()), u"46.1.0.8");
}

TEST(VersionResource, PartsAreUnsignedWithoutLeadingZeros) {
  EXPECT_EQ(FileVersionTextOf(ProgramDirectory() + L"tarvex_odd_version_helper.exe"), u"65535.0.10.65534");
}

TEST(VersionResource, NoResourceOrNoFileGivesEmptyText) {
  EXPECT_EQ(FileVersionTextOf(ProgramDirectory() + L"tarvex_no_version_helper.exe"), u"");
  EXPECT_EQ(FileVersionTextOf(ProgramDirectory() + L"no_such_program.exe"), u"");
}

class VersionStrings : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = OwnPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(size, 0u);
    block_.assign(size, 0);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block_.data()));
  }

  std::wstring String(const wchar_t* name) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
    wchar_t* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block_.data(), query.c_str(), reinterpret_cast<void**>(&value), &len)) return L"<missing>";
    return std::wstring(value);
  }

  std::vector<BYTE> block_;
};

TEST_F(VersionStrings, StringTableAndTranslation) {
  // The trade mark sign must survive the resource compiler's code page.
  EXPECT_EQ(String(L"FileDescription"), L"Tarvex\u2122 & Qorin Absolute Linear Encoder Demo");
  EXPECT_EQ(String(L"FileVersion"), L"46.1.0.8");
  EXPECT_EQ(String(L"ProductVersion"), L"1.0.0.0");

  WORD* translation = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &len));
  ASSERT_EQ(len, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);

  VS_FIXEDFILEINFO* info = nullptr;
  ASSERT_TRUE(VerQueryValueW(block_.data(), L"\\", reinterpret_cast<void**>(&info), &len));
  EXPECT_EQ(info->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(info->dwProductVersionLS, 0u);
}

std::string ManifestText() {
  const HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  if (res == nullptr) return {};
  const HGLOBAL data = LoadResource(nullptr, res);
  return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(nullptr, res));
}

TEST(Manifest, AsksForCommonControls6AsInvoker) {
  const std::string manifest = ManifestText();
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string::npos);
  EXPECT_NE(manifest.find(R"(requestedExecutionLevel level="asInvoker")"), std::string::npos);
  for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(os), std::string::npos) << os;
  }
  EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
}

TEST(Manifest, ProcessGetsCommonControls6) {
  // The loader binds comctl32 through the manifest's dependency: version 6
  // lives side by side, version 5 in the system folder.
  const HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  std::wstring lower(path);
  for (wchar_t& ch : lower) ch = static_cast<wchar_t>(towlower(ch));
  EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << std::string(lower.begin(), lower.end());
  EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."), std::wstring::npos);
  FreeLibrary(comctl);
}

#pragma pack(push, 2)
struct IconDirEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
struct IconDir {
  WORD reserved, type, count;
  IconDirEntry entries[1];
};
#pragma pack(pop)

TEST(Icon, MainIconHoldsThe32And16PixelPictures) {
  const HRSRC res = FindResourceW(nullptr, L"MAINICON", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(res, nullptr);
  const auto* dir = static_cast<const IconDir*>(LockResource(LoadResource(nullptr, res)));
  ASSERT_NE(dir, nullptr);
  ASSERT_EQ(dir->type, 1);
  bool has32 = false, has16 = false;
  for (WORD i = 0; i < dir->count; ++i) {
    const IconDirEntry& e = dir->entries[i];
    has32 = has32 || (e.width == 32 && e.height == 32);
    has16 = has16 || (e.width == 16 && e.height == 16);
  }
  EXPECT_TRUE(has32);
  EXPECT_TRUE(has16);
  for (const int size : {32, 16}) {
    const HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }
}

}  // namespace
}  // namespace tarvex
