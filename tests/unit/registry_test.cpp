// The Linux registry: user.reg under a private XDG_CONFIG_HOME, and the port map.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "connection/port_folder.h"
#include "connection/registry.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

const Text kKey = u"\\Software\\Halvik\\Tarvex";
const Text kValue = u"zadnji_izbran_COM_port";
constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";
constexpr char kSection[] = "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\n";

// A fresh XDG_CONFIG_HOME for one test; the old value comes back afterwards.
class ConfigHome {
 public:
  ConfigHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    std::string tmpl = (fs::temp_directory_path() / "tarvex-reg-XXXXXX").string();
    root_ = ::mkdtemp(tmpl.data());
    Point(root_);
  }
  ~ConfigHome() {
    if (old_) {
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ec;
    fs::permissions(Folder(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  ConfigHome(const ConfigHome&) = delete;
  ConfigHome& operator=(const ConfigHome&) = delete;

  void Point(const fs::path& home) { ::setenv("XDG_CONFIG_HOME", home.c_str(), 1); }
  fs::path Root() const { return root_; }
  fs::path Folder() const { return root_ / "Halvik" / "Tarvex"; }
  fs::path File() const { return Folder() / "user.reg"; }

  void Write(const std::string& content) const {
    fs::create_directories(Folder());
    std::ofstream(File(), std::ios::binary) << content;
  }
  std::string Read() const {
    std::ifstream in(File(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  fs::path root_;
  std::optional<std::string> old_;
};

std::optional<std::int32_t> ReadStored(const Text& key = kKey, const Text& name = kValue) {
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  std::int32_t v = 0;
  if (!reg->OpenKeyReadOnly(key) || !reg->ReadInteger(name, v)) return std::nullopt;
  return v;
}

bool Store(std::int32_t value, const Text& name = kValue) {
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  if (!reg->OpenKey(kKey, true)) return false;
  const bool ok = reg->WriteInteger(name, value);
  reg->CloseKey();
  return ok;
}

TEST(RegistryUser, FirstWriteCreatesTheExportFileAndReadsBack) {
  ConfigHome home;
  EXPECT_FALSE(ReadStored());
  ASSERT_TRUE(Store(7));
  EXPECT_EQ(ReadStored(), 7);
  EXPECT_EQ(home.Read(), std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000007\n\n");
}

TEST(RegistryUser, DwordsKeepAllThirtyTwoBits) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "00000000"}, {255, "000000ff"}, {-1, "ffffffff"}, {INT32_MIN, "80000000"}, {INT32_MAX, "7fffffff"},
  };
  for (const auto& [value, hex] : cases) {
    SCOPED_TRACE(hex);
    ConfigHome home;
    ASSERT_TRUE(Store(value));
    EXPECT_NE(home.Read().find(std::string("=dword:") + hex + "\n"), std::string::npos);
    EXPECT_EQ(ReadStored(), value);
    // And the same text written by hand, upper-case digits included.
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    home.Write(std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:" + upper + "\n");
    EXPECT_EQ(ReadStored(), value);
  }
}

TEST(RegistryUser, EachValueIsReadOnlyAsItsOwnType) {
  ConfigHome home;
  home.Write(std::string(kHeader) + kSection +
             "\"port_as_text\"=\"7\"\n"
             "\"escaped\"=\"a\\\\b \\\"c\\\"\"\n"
             "\"expand\"=hex(2):25,00,54,00,00,00\n"
             "\"binary\"=hex:07,00,00,00\n"
             "\"number\"=dword:00000007\n");
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(kKey));
  struct Case {
    Text name;
    std::optional<Text> text;
    std::optional<std::int32_t> number;
  };
  const Case cases[] = {
      {u"port_as_text", u"7", std::nullopt},
      {u"escaped", u"a\\b \"c\"", std::nullopt},
      {u"expand", std::nullopt, std::nullopt},
      {u"binary", std::nullopt, std::nullopt},
      {u"number", std::nullopt, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    EXPECT_TRUE(reg->ValueExists(c.name));
    Text text;
    std::int32_t number = 0;
    EXPECT_EQ(reg->ReadString(c.name, text), c.text.has_value());
    if (c.text) {
      EXPECT_EQ(text, *c.text);
    }
    EXPECT_EQ(reg->ReadInteger(c.name, number), c.number.has_value());
    if (c.number) {
      EXPECT_EQ(number, *c.number);
    }
  }
}

TEST(RegistryUser, MissingKeysAndValues) {
  ConfigHome home;
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  EXPECT_FALSE(reg->OpenKeyReadOnly(kKey)) << "no file at all";
  EXPECT_FALSE(reg->OpenKey(kKey, false));
  EXPECT_TRUE(reg->GetValueNames().empty());
  std::int32_t v = 0;
  EXPECT_FALSE(reg->ReadInteger(kValue, v)) << "no key open";

  home.Write(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Halvik\\Other]\n\"zadnji_izbran_COM_port\"=dword:00000003\n");
  EXPECT_FALSE(reg->OpenKeyReadOnly(kKey)) << "a sibling key is not ours";

  home.Write(std::string(kHeader) + kSection + "\"something_else\"=dword:00000003\n");
  ASSERT_TRUE(reg->OpenKeyReadOnly(kKey));
  EXPECT_FALSE(reg->ValueExists(kValue));
  EXPECT_FALSE(reg->ReadInteger(kValue, v));
}

TEST(RegistryUser, NamesIgnoreCaseAndParentsAndRelativePathsResolve) {
  ConfigHome home;
  home.Write(std::string(kHeader) + "[HKEY_CURRENT_USER\\SOFTWARE\\halvik\\TARVEX]\n\"Zadnji_Izbran_COM_Port\"=dword:00000009\n");
  EXPECT_EQ(ReadStored(), 9);

  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(u"\\Software\\Halvik")) << "implied by its subkey";
  EXPECT_TRUE(reg->GetValueNames().empty());
  ASSERT_TRUE(reg->OpenKeyReadOnly(u"Tarvex")) << "relative to the open key";
  std::int32_t v = 0;
  EXPECT_TRUE(reg->ReadInteger(kValue, v));
  EXPECT_EQ(v, 9);
  EXPECT_FALSE(reg->OpenKeyReadOnly(u"\\Software\\Halvik\\Tarv")) << "a prefix is not a key";
}

TEST(RegistryUser, DamagedFilesReadWhatTheyCanAndNeverFail) {
  const std::string good = "\"zadnji_izbran_COM_port\"=dword:00000005\n";
  std::string binary(4096, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 131 + 7) % 256);
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string(kHeader) + kSection + good) {
    utf16 += c;
    utf16 += '\0';
  }
  std::string huge = std::string(kHeader) + kSection + good + ";";
  huge.append(std::size_t{17} << 20, 'x');
  huge += "\n";

  struct Case {
    const char* what;
    std::string content;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {"empty", "", std::nullopt},
      {"binary", binary, std::nullopt},
      {"binary then a good key", binary + "\n" + kSection + good, 5},
      {"no header, CRLF", std::string(kSection) + "\"zadnji_izbran_COM_port\"=dword:00000005\r\n", 5},
      {"bad lines around the value",
       std::string(kHeader) + kSection + "garbage\n\"a\"=dword:xyz\n\"b\"=\"open\n\"c\"=dword:123456789\n" + good +
           "\"d\"=\n",
       5},
      {"value after a broken header belongs nowhere",
       std::string(kHeader) + kSection + "[HKEY_CURRENT_USER\\Software\\Halvik\\Other\n" + good, std::nullopt},
      {"invalid UTF-8 on the value's line",
       std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\xC0\"=dword:00000005\n", std::nullopt},
      {"later duplicate wins",
       std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000001\n" + kSection + good, 5},
      {"UTF-16 export with byte-order mark", utf16, 5},
      {"huge file", huge, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigHome home;
    home.Write(c.content);
    EXPECT_EQ(ReadStored(), c.expected);
  }
}

TEST(RegistryUser, UserFileThatIsAFolderReadsAsNoKey) {
  ConfigHome home;
  fs::create_directories(home.File());
  EXPECT_FALSE(ReadStored());
  EXPECT_FALSE(Store(3)) << "a folder cannot be replaced by the file";
}

TEST(RegistryUser, UnreadableFileIsAbsentAndNotOverwritten) {
  ConfigHome home;
  const std::string content = std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000004\n";
  home.Write(content);
  fs::permissions(home.File(), fs::perms::none);
  if (::access(home.File().c_str(), R_OK) == 0) {
    GTEST_SKIP() << "running as root: file permissions do not stop reading";
  }
  EXPECT_FALSE(ReadStored());
  EXPECT_FALSE(Store(9));
  fs::permissions(home.File(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(home.Read(), content);
}

TEST(RegistryUser, WriteKeepsEveryOtherKeyAndValueAndDropsOnlyGarbage) {
  ConfigHome home;
  home.Write(std::string(kHeader) +
             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"
             "\"kept\"=\"yes\"\n"
             "\n"
             "not a registry line at all\n"
             "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\n"
             "\"first\"=\"a \\\"quoted\\\" \\\\ path\"\n"
             "\"zadnji_izbran_COM_port\"=dword:00000002\n"
             "\"blob\"=hex:00,01,02,\\\n"
             "  03,04\n"
             "@=hex(7):41,00,00,00,00,00\n"
             "\"broken\"=dword:\n"
             "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex\\Sub]\n"
             "\"deep\"=dword:0000000a\n");
  ASSERT_TRUE(Store(12));
  EXPECT_EQ(home.Read(), std::string(kHeader) +
                             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"
                             "\"kept\"=\"yes\"\n"
                             "\n"
                             "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\n"
                             "\"first\"=\"a \\\"quoted\\\" \\\\ path\"\n"
                             "\"zadnji_izbran_COM_port\"=dword:0000000c\n"
                             "\"blob\"=hex:00,01,02,\\\n"
                             "  03,04\n"
                             "@=hex(7):41,00,00,00,00,00\n"
                             "\n"
                             "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex\\Sub]\n"
                             "\"deep\"=dword:0000000a\n"
                             "\n");
  EXPECT_EQ(ReadStored(u"\\Software\\Halvik\\Tarvex\\Sub", u"deep"), 10);
}

TEST(RegistryUser, EnumerationKeepsFileOrderAndNewValuesGoLast) {
  ConfigHome home;
  home.Write(std::string(kHeader) + kSection + "\"c\"=dword:00000001\n\"a\"=\"x\"\n\"b\"=hex:00\n");
  ASSERT_TRUE(Store(1, u"A"));  // an existing name in another case keeps its place
  ASSERT_TRUE(Store(2, u"d"));
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(kKey));
  EXPECT_EQ(reg->GetValueNames(), (std::vector<Text>{u"c", u"a", u"b", u"d"}));
}

TEST(RegistryUser, WritesLeaveNoTemporaryFiles) {
  ConfigHome home;
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(Store(i));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(home.Folder())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"user.reg"});
}

TEST(RegistryUser, FolderThatCannotBeMadeFailsOpenAndCreate) {
  ConfigHome home;
  // A regular file where a folder must go stops even root.
  std::ofstream(home.Root() / "plain-file") << "x";
  home.Point(home.Root() / "plain-file" / "config");
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  EXPECT_FALSE(reg->OpenKey(kKey, true));
  EXPECT_FALSE(reg->WriteInteger(kValue, 3));
  EXPECT_FALSE(reg->OpenKeyReadOnly(kKey));
}

TEST(RegistryUser, ExistingKeyOpenedForWritingFailsWhenTheFileCannotBeReplaced) {
  ConfigHome home;
  home.Write(std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000004\n");
  // Sending the config folder under a file makes the write fail, but the key
  // stays readable through the original folder.
  auto reg = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  ASSERT_TRUE(reg->OpenKey(kKey, false));
  std::ofstream(home.Root() / "plain-file") << "x";
  home.Point(home.Root() / "plain-file" / "config");
  EXPECT_FALSE(reg->WriteInteger(kValue, 9));
  home.Point(home.Root());
  EXPECT_EQ(ReadStored(), 4);
}

TEST(RegistryUser, AccessMaskLimitsWhatAnOpenKeyMayDo) {
  ConfigHome home;
  ASSERT_TRUE(Store(3));
  auto readOnly = MakeSystemRegistry(RootKey::CurrentUser, kKeyRead);
  ASSERT_TRUE(readOnly->OpenKey(kKey, false));
  EXPECT_FALSE(readOnly->WriteInteger(kValue, 8));
  auto full = MakeSystemRegistry(RootKey::CurrentUser, kKeyAllAccess);
  ASSERT_TRUE(full->OpenKeyReadOnly(kKey));
  EXPECT_FALSE(full->WriteInteger(kValue, 8)) << "read-only open whatever the object's access";
  full->CloseKey();
  EXPECT_FALSE(full->WriteInteger(kValue, 8));
  EXPECT_FALSE(full->ValueExists(kValue));
  EXPECT_EQ(ReadStored(), 3);
}

TEST(RegistryPortMap, MirrorsThePortMapReadOnly) {
  ConfigHome home;
  const fs::path ports = home.Folder() / "ports";
  fs::create_directories(ports);
  fs::create_symlink("/dev/null", ports / "COM3");
  fs::create_symlink(home.Root() / "gone", ports / "COM1");

  auto reg = MakeSystemRegistry(RootKey::LocalMachine, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(u"HARDWARE\\DeviceMap\\SERIALCOMM"));
  const std::vector<Text> names = reg->GetValueNames();
  const std::vector<PortMapEntry> map = ReadPortMap();
  ASSERT_EQ(names.size(), map.size());
  bool sawNull = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i], Text(map[i].valueName.begin(), map[i].valueName.end()));
    Text data;
    ASSERT_TRUE(reg->ReadString(names[i], data));
    EXPECT_EQ(data, Text(map[i].data.begin(), map[i].data.end()));
    std::int32_t n = 0;
    EXPECT_FALSE(reg->ReadInteger(names[i], n)) << "port map values are strings";
    if (names[i] == u"/dev/null") sawNull = data == u"COM3";
  }
  EXPECT_TRUE(sawNull);
  EXPECT_FALSE(reg->ValueExists(home.Root().u16string() + u"/gone"));

  EXPECT_FALSE(reg->OpenKeyReadOnly(u"hardware\\devicemap\\other"));
  EXPECT_FALSE(reg->OpenKeyReadOnly(u"\\Software\\Halvik\\Tarvex"));
  auto writer = MakeSystemRegistry(RootKey::LocalMachine, kKeyAllAccess);
  EXPECT_FALSE(writer->OpenKey(u"hardware\\devicemap\\serialcomm", false));
  EXPECT_FALSE(writer->OpenKey(u"\\Software\\Halvik\\Tarvex", true));
}

}  // namespace
}  // namespace tarvex
