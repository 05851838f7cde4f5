// The Linux registry: user.reg under a private XDG_CONFIG_HOME, and the port map.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
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
      {"bad lines after the value",
       std::string(kHeader) + kSection + good + "garbage\n\"a\"=dword:xyz\n\"b\"=\"open\n\"c\"=dword:123456789\n\"d\"=\n",
       5},
      {"a line that cannot be read ends the key", std::string(kHeader) + kSection + "\"a\"=dword:xyz\n" + good,
       std::nullopt},
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

// Each case: the file as found, the port it holds (if any), and the file
// after port 7 is written. Nothing but that one value may change.
TEST(RegistryUser, WriteChangesOnlyItsOwnValueByteForByte) {
  const std::string ours = "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]";
  const std::string three = "\"zadnji_izbran_COM_port\"=dword:00000003";
  const std::string seven = "\"zadnji_izbran_COM_port\"=dword:00000007";
  const auto with7 = [&](std::string s) { return s.replace(s.find(three), three.size(), seven); };
  const auto utf16 = [](const std::string& s) {
    std::string out = "\xFF\xFE";
    for (char c : s) out += {c, '\0'};
    return out;
  };
  const std::string crcrlf = "Windows Registry Editor Version 5.00\r\r\n\r\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\r\n"
                             "\"a\"=\"b\"\r\r\n\r\r\n" + ours + "\r\r\n" + three + "\r\r\n";
  const std::string badHeader = std::string(kHeader) + ours + "\n" + three +
                                "\n\n[HKEY_CURRENT_USER\\Software\\M\xfcller\\Tarvex]\n\"zadnji_izbran_COM_port\"=dword:00000009\n";
  const std::string cp1252 = std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Other]\n\"name\"=\"Gr\xfc\xdf\"\n\n" +
                             ours + "\n" + three + "\n";
  const std::string mixed = std::string(kHeader) +
                            "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n\"kept\"=\"yes\"\n\nnot a registry line at all\n" +
                            ours + "\n\"first\"=\"a \\\"quoted\\\" \\\\ path\"\n" + three +
                            "\n\"blob\"=hex:00,01,02,\\\n  03,04\n@=hex(7):41,00,00,00,00,00\n\"broken\"=dword:\n"
                            "[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex\\Sub]\n\"deep\"=dword:0000000a\n";
  struct Case {
    const char* what;
    std::string input;
    std::optional<std::int32_t> before;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"CR CR LF line ends", crcrlf, 3, with7(crcrlf)},
      {"a key header that is not UTF-8 keeps its values", badHeader, 3, with7(badHeader)},
      {"a Windows-1252 value line is kept", cp1252, 3, with7(cp1252)},
      {"hex ending in a backslash at the end of the file",
       std::string(kHeader) + ours + "\n" + three + "\n\n[HKEY_CURRENT_USER\\X]\n\"bin\"=hex:01,02,\\", 3,
       std::string(kHeader) + ours + "\n" + seven + "\n\n[HKEY_CURRENT_USER\\X]\n\"bin\"=hex:01,02,\\"},
      {"hex ending in a backslash and a space before our key",
       std::string(kHeader) + "[HKEY_CURRENT_USER\\X]\n\"bin\"=hex:01,\\ \n" + ours + "\n" + three + "\n", 3,
       std::string(kHeader) + "[HKEY_CURRENT_USER\\X]\n\"bin\"=hex:01,\\ \n" + ours + "\n" + seven + "\n"},
      {"hex ending in a backslash and CR before our value",
       std::string(kHeader) + ours + "\r\n\"bin\"=hex:01,\\\r\n" + three + "\r\n", 3,
       std::string(kHeader) + ours + "\r\n\"bin\"=hex:01,\\\r\n" + seven + "\r\n"},
      {"a new value goes after the key's last one, in the file's line ends",
       ours + "\r\n\"a\"=\"x\"\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n", std::nullopt,
       ours + "\r\n\"a\"=\"x\"\r\n" + seven + "\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n"},
      {"a new value after a dangling continuation goes under the header",
       ours + "\n\"bin\"=hex:01,\\\n", std::nullopt, ours + "\n" + seven + "\n\"bin\"=hex:01,\\\n"},
      {"a value after an unreadable line is not ours",
       ours + "\ngarbage\n\"zadnji_izbran_COM_port\"=dword:00000005\n", std::nullopt,
       ours + "\n" + seven + "\ngarbage\n\"zadnji_izbran_COM_port\"=dword:00000005\n"},
      {"a new key after a last line without its end", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"x\"", std::nullopt,
       "[HKEY_CURRENT_USER\\X]\n\"a\"=\"x\"\n\n" + ours + "\n" + seven + "\n\n"},
      {"UTF-16 stays UTF-16", utf16(std::string(kHeader) + ours + "\r\n" + three + "\r\n"), 3,
       utf16(std::string(kHeader) + ours + "\r\n" + seven + "\r\n")},
      {"comments, garbage, other types and subkeys", mixed, 3, with7(mixed)},
      {"UTF-16 without a line end and with half a unit", utf16(ours) + "X", std::nullopt,
       utf16(ours + "\n" + seven) + "X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigHome home;
    home.Write(c.input);
    EXPECT_EQ(ReadStored(), c.before);
    ASSERT_TRUE(Store(7));
    EXPECT_EQ(home.Read(), c.expected);
    EXPECT_EQ(ReadStored(), 7);
  }
  ConfigHome home;
  home.Write(mixed);
  ASSERT_TRUE(Store(7));
  EXPECT_EQ(ReadStored(u"\\Software\\Halvik\\Tarvex\\Sub", u"deep"), 10);
}

TEST(RegistryUser, FilesThatCannotBeReplacedSafelyAreLeftAlone) {
  std::string huge = std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000003\n;";
  huge.append((std::size_t{16} << 20) + 1, 'x');
  const std::string small = std::string(kHeader) + kSection + "\"zadnji_izbran_COM_port\"=dword:00000003\n";
  const std::pair<const char*, std::string> cases[] = {{"over 16 MiB", huge}, {"read-only", small}};
  for (const auto& [what, content] : cases) {
    SCOPED_TRACE(what);
    ConfigHome home;
    home.Write(content);
    if (content.size() == small.size()) fs::permissions(home.File(), fs::perms::owner_read);
    EXPECT_EQ(ReadStored(), 3);
    EXPECT_FALSE(Store(7));
    EXPECT_TRUE(home.Read() == content);
  }
}

TEST(RegistryUser, WritesRemoveTemporaryFilesOfKilledWritesButNotOfLiveOnes) {
  ConfigHome home;
  ASSERT_TRUE(Store(1));
  const fs::path stale = home.Folder() / ".user.reg.Ab12Cd", live = home.Folder() / ".user.reg.Ef34Gh",
                 foreign = home.Folder() / ".user.reg.keep-me";
  for (const auto& p : {stale, live, foreign}) std::ofstream(p) << "partial";
  const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ASSERT_TRUE(Store(2));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live)) << "a write in progress elsewhere";
  EXPECT_TRUE(fs::exists(foreign)) << "not a name we make";
  ::close(held);
  EXPECT_EQ(ReadStored(), 2);
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
  fs::create_symlink("/dev/null", ports / "COM7");  // a second link to one device lists as itself
  fs::create_symlink(home.Root() / "gone", ports / "COM1");

  auto reg = MakeSystemRegistry(RootKey::LocalMachine, kKeyRead);
  ASSERT_TRUE(reg->OpenKeyReadOnly(u"HARDWARE\\DeviceMap\\SERIALCOMM"));
  const std::vector<Text> names = reg->GetValueNames();
  const std::vector<PortMapEntry> map = ReadPortMap();
  ASSERT_EQ(names.size(), map.size());
  int sawNull = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i], Text(map[i].valueName.begin(), map[i].valueName.end()));
    Text data;
    ASSERT_TRUE(reg->ReadString(names[i], data));
    EXPECT_EQ(data, Text(map[i].data.begin(), map[i].data.end()));
    std::int32_t n = 0;
    EXPECT_FALSE(reg->ReadInteger(names[i], n)) << "port map values are strings";
    if (names[i] == u"/dev/null") sawNull += data == (sawNull == 0 ? u"COM3" : u"COM7") ? 1 : 0;
  }
  EXPECT_EQ(sawNull, 2);
  EXPECT_FALSE(reg->ValueExists(home.Root().u16string() + u"/gone"));

  EXPECT_FALSE(reg->OpenKeyReadOnly(u"hardware\\devicemap\\other"));
  EXPECT_FALSE(reg->OpenKeyReadOnly(u"\\Software\\Halvik\\Tarvex"));
  auto writer = MakeSystemRegistry(RootKey::LocalMachine, kKeyAllAccess);
  EXPECT_FALSE(writer->OpenKey(u"hardware\\devicemap\\serialcomm", false));
  EXPECT_FALSE(writer->OpenKey(u"\\Software\\Halvik\\Tarvex", true));
}

}  // namespace
}  // namespace tarvex
