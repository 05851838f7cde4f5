// connection/registry.h over Wine's advapi32: the remembered port under
// HKEY_CURRENT_USER and the serial-port map under HKEY_LOCAL_MACHINE.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection/registry.h"
#include "wine_environment.h"

namespace tarvex {
namespace {

using wintest::FromWide;
using wintest::Wide;

const Text kKeyPath = u"\\Software\\Halvik\\Tarvex";
const Text kValueName = u"zadnji_izbran_COM_port";
const wchar_t kKeyPathW[] = L"Software\\Halvik\\Tarvex";
const wchar_t kValueNameW[] = L"zadnji_izbran_COM_port";

class RegistryWine : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPathW); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPathW); }

  static bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPathW, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  static void SetRaw(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKeyPathW, kValueNameW, type, data, size), ERROR_SUCCESS);
  }
};

TEST_F(RegistryWine, RememberedPortIsStoredAsDword) {
  for (const std::int32_t port : {7, 255, 1, -1, 300}) {
    SCOPED_TRACE(port);
    {
      auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
      ASSERT_TRUE(reg->OpenKey(kKeyPath, true));
      ASSERT_TRUE(reg->WriteInteger(kValueName, port));
      reg->CloseKey();
    }
    DWORD type = 0, data = 0, size = sizeof data;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKeyPathW, kValueNameW, RRF_RT_ANY, &type, &data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data, static_cast<DWORD>(port));

    // Read back the way the start-up step does.
    auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
    ASSERT_TRUE(reg->OpenKey(kKeyPath, false));
    EXPECT_TRUE(reg->ValueExists(kValueName));
    std::int32_t read = 0;
    ASSERT_TRUE(reg->ReadInteger(kValueName, read));
    EXPECT_EQ(read, port);
  }
}

TEST_F(RegistryWine, WritingKeepsTheKeysOtherValues) {
  const wchar_t other[] = L"someone else's";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKeyPathW, L"other", REG_SZ, other, sizeof other), ERROR_SUCCESS);
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  ASSERT_TRUE(reg->OpenKey(kKeyPath, true));
  ASSERT_TRUE(reg->WriteInteger(kValueName, 12));
  Text text;
  ASSERT_TRUE(reg->ReadString(u"other", text));
  EXPECT_EQ(text, FromWide(other));
}

TEST_F(RegistryWine, ValueOfAnotherTypeIsNoInteger) {
  const DWORD seven = 7;
  const ULONGLONG seven64 = 7;
  const wchar_t sevenText[] = L"7";
  const struct {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
  } cases[] = {
      {"REG_SZ", REG_SZ, sevenText, sizeof sevenText},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ, sevenText, sizeof sevenText},
      {"REG_BINARY of four bytes", REG_BINARY, &seven, sizeof seven},
      {"REG_QWORD", REG_QWORD, &seven64, sizeof seven64},
      {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, &seven, sizeof seven},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetRaw(c.type, c.data, c.size);
    auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
    ASSERT_TRUE(reg->OpenKey(kKeyPath, false));
    EXPECT_TRUE(reg->ValueExists(kValueName));
    std::int32_t read = -99;
    EXPECT_FALSE(reg->ReadInteger(kValueName, read));
  }
}

TEST_F(RegistryWine, MissingKeyIsNotCreatedByReading) {
  auto reader = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  EXPECT_FALSE(reader->OpenKey(kKeyPath, false));
  EXPECT_FALSE(reader->OpenKeyReadOnly(kKeyPath));
  EXPECT_FALSE(reader->ValueExists(kValueName));
  std::int32_t read = 0;
  EXPECT_FALSE(reader->ReadInteger(kValueName, read));
  EXPECT_FALSE(KeyExists());

  // Present key, missing value.
  auto writer = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  ASSERT_TRUE(writer->OpenKey(kKeyPath, true));
  EXPECT_TRUE(KeyExists());
  writer->CloseKey();
  ASSERT_TRUE(reader->OpenKey(kKeyPath, false));
  EXPECT_FALSE(reader->ValueExists(kValueName));
  EXPECT_FALSE(reader->ReadInteger(kValueName, read));
}

TEST_F(RegistryWine, ReadAccessCannotWrite) {
  auto writer = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  ASSERT_TRUE(writer->OpenKey(kKeyPath, true));
  auto reader = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  ASSERT_TRUE(reader->OpenKey(kKeyPath, false));
  EXPECT_FALSE(reader->WriteInteger(kValueName, 5));
  EXPECT_FALSE(reader->ValueExists(kValueName));
}

std::vector<std::wstring> EnumeratedNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD len = 16384;
    if (RegEnumValueW(key, index, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

// The script adds its values with `wine reg add` before this runs, on the
// same Wine server: the key is volatile.
TEST(PortMapWine, ValuesInEnumerationOrder) {
  const auto added = wintest::PairsFromEnvironment("TARVEX_SERIALCOMM");
  ASSERT_FALSE(added.empty());

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  const std::vector<std::wstring> expected = EnumeratedNames(key);
  RegCloseKey(key);

  auto reg = MakeSystemRegistry(RootKey::LocalMachine, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(u"hardware\\devicemap\\serialcomm"));
  const std::vector<Text> names = reg->GetValueNames();
  ASSERT_EQ(names.size(), expected.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(Wide(names[i]), expected[i]) << "index " << i;

  for (const auto& [name, data] : added) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    bool listed = false;
    for (const Text& n : names) listed = listed || Wide(n) == name;
    EXPECT_TRUE(listed);
    Text text;
    ASSERT_TRUE(reg->ReadString(FromWide(name), text));
    EXPECT_EQ(Wide(text), data);
    std::int32_t number = 0;
    EXPECT_FALSE(reg->ReadInteger(FromWide(name), number));
  }
  reg->CloseKey();
  EXPECT_TRUE(reg->GetValueNames().empty());
}

}  // namespace
}  // namespace tarvex
