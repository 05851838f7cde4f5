// Linux registry: HKEY_CURRENT_USER lives in user.reg (registry-export format)
// under the config folder; HKEY_LOCAL_MACHINE holds only the port map.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "connection/port_folder.h"
#include "connection/port_folder_posix.h"
#include "connection/registry.h"
#include "connection/utf8_text.h"

namespace tarvex {

namespace {

// Anything beyond this is not a file we wrote; the tail is ignored.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::u16string_view kCurrentUser = u"HKEY_CURRENT_USER";
constexpr std::u16string_view kPortMapKey = u"hardware\\devicemap\\serialcomm";

enum class Kind { String, Dword, Other };

struct Value {
  Text name;
  Kind kind = Kind::Other;
  Text text;                // Kind::String
  std::uint32_t dword = 0;  // Kind::Dword
  Text raw;                 // Kind::Other: everything after '=', continuation lines included
};

struct Key {
  Text name;  // full name as written, root key included
  std::vector<Value> values;
};

using Hive = std::vector<Key>;

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Key and value names compare like Windows compares them, ignoring case.
bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// True for a key at or below `key`: every key implies its ancestors.
bool AtOrBelow(std::u16string_view candidate, std::u16string_view key) {
  if (key.empty()) return true;
  if (candidate.size() < key.size() || !SameName(candidate.substr(0, key.size()), key)) return false;
  return candidate.size() == key.size() || candidate[key.size()] == u'\\';
}

std::u16string_view TrimSpaces(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

std::u16string_view TrimBackslashes(std::u16string_view s) {
  while (!s.empty() && s.front() == u'\\') s.remove_prefix(1);
  while (!s.empty() && s.back() == u'\\') s.remove_suffix(1);
  return s;
}

// Parses "..." with \\ and \" escapes at the start of s; advances s past it.
bool TakeQuoted(std::u16string_view& s, Text& out) {
  out.clear();
  if (s.empty() || s.front() != u'"') return false;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == u'"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (s[i] == u'\\') {
      if (i + 1 >= s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"')) return false;
      ++i;
    }
    out.push_back(s[i]);
  }
  return false;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ParseDword(std::u16string_view digits, std::uint32_t& out) {
  if (digits.empty() || digits.size() > 8) return false;
  out = 0;
  for (char16_t c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    out = (out << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}

// hex: or hex(<type>): — the types kept verbatim.
bool IsOtherTypePrefix(std::u16string_view data) {
  if (!StartsWithNoCase(data, u"hex")) return false;
  data.remove_prefix(3);
  if (!data.empty() && data.front() == u'(') {
    const auto close = data.find(u')');
    if (close == std::u16string_view::npos || close == 1 || close > 9) return false;
    for (char16_t c : data.substr(1, close - 1)) {
      if (HexDigit(c) < 0) return false;
    }
    data.remove_prefix(close + 1);
  }
  return !data.empty() && data.front() == u':';
}

void SetValue(Key& key, Value value) {
  for (Value& v : key.values) {
    if (SameName(v.name, value.name)) {
      // Like the registry, the name keeps the case it was created with.
      value.name = std::move(v.name);
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

Key* FindKey(Hive& hive, std::u16string_view name) {
  for (Key& k : hive) {
    if (SameName(k.name, name)) return &k;
  }
  return nullptr;
}

const Value* FindValue(const Key* key, std::u16string_view name) {
  if (key == nullptr) return nullptr;
  for (const Value& v : key->values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

// Lines of the file; a line that is not valid text is nullopt.
std::vector<std::optional<Text>> SplitLines(const std::string& bytes) {
  std::vector<std::optional<Text>> lines;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // What regedit itself exports: UTF-16LE with a byte-order mark.
    Text line;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8);
      if (c == u'\n') {
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        lines.emplace_back(std::move(line));
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    lines.emplace_back(std::move(line));
    return lines;
  }
  std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view raw(bytes.data() + start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Text line;
    if (Utf8ToText(raw, line)) {
      lines.emplace_back(std::move(line));
    } else {
      lines.emplace_back(std::nullopt);
    }
    start = end + 1;
  }
  return lines;
}

// Keeps whatever parses; a line that does not is dropped on its own.
Hive ParseHive(const std::string& bytes) {
  Hive hive;
  const auto lines = SplitLines(bytes);
  // Index of the key the lines belong to; none before the first good header.
  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
  std::size_t current = kNoKey;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i]) continue;
    const std::u16string_view line = TrimSpaces(*lines[i]);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      // Values under a bad or deleting header belong to no key.
      current = kNoKey;
      if (line.back() != u']' || line.size() < 3 || line[1] == u'-') continue;
      const std::u16string_view name = TrimBackslashes(line.substr(1, line.size() - 2));
      if (name.empty()) continue;
      for (std::size_t k = 0; k < hive.size(); ++k) {
        if (SameName(hive[k].name, name)) current = k;
      }
      if (current == kNoKey) {
        hive.push_back(Key{Text(name), {}});
        current = hive.size() - 1;
      }
      continue;
    }
    if (current == kNoKey) continue;

    Value value;
    std::u16string_view rest = line;
    if (rest.front() == u'@') {
      rest.remove_prefix(1);
    } else if (!TakeQuoted(rest, value.name)) {
      continue;
    }
    rest = TrimSpaces(rest);
    if (rest.empty() || rest.front() != u'=') continue;
    rest = TrimSpaces(rest.substr(1));

    if (!rest.empty() && rest.front() == u'"') {
      if (!TakeQuoted(rest, value.text) || !TrimSpaces(rest).empty()) continue;
      value.kind = Kind::String;
    } else if (StartsWithNoCase(rest, u"dword:")) {
      if (!ParseDword(rest.substr(6), value.dword)) continue;
      value.kind = Kind::Dword;
    } else if (IsOtherTypePrefix(rest)) {
      value.kind = Kind::Other;
      value.raw = Text(rest);
      while (!value.raw.empty() && value.raw.back() == u'\\' && i + 1 < lines.size() && lines[i + 1]) {
        value.raw += u'\n';
        value.raw += *lines[++i];
      }
    } else {
      continue;  // "-" (a deletion) or garbage
    }
    SetValue(hive[current], std::move(value));
  }
  return hive;
}

void AppendQuoted(Text& out, const Text& s) {
  out += u'"';
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  out += u'"';
}

std::string FormatHive(const Hive& hive) {
  Text out;
  out.append(kHeader.begin(), kHeader.end());
  out += u"\n\n";
  for (const Key& key : hive) {
    out += u'[';
    out += key.name;
    out += u"]\n";
    for (const Value& v : key.values) {
      if (v.name.empty()) {
        out += u'@';
      } else {
        AppendQuoted(out, v.name);
      }
      out += u'=';
      switch (v.kind) {
        case Kind::String:
          AppendQuoted(out, v.text);
          break;
        case Kind::Dword: {
          char digits[9];
          std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(v.dword));
          out += u"dword:";
          for (const char* p = digits; *p != '\0'; ++p) out += static_cast<char16_t>(*p);
          break;
        }
        case Kind::Other:
          out += v.raw;
          break;
      }
      out += u'\n';
    }
    out += u'\n';
  }
  return TextToUtf8(out);
}

std::string UserFilePath() { return ConfigFolder() + "/user.reg"; }

// A missing, unreadable or odd file reads as empty. `replaceable` tells
// whether a write may replace it: a file that is there but cannot be read is
// left alone rather than overwritten with nothing.
std::string ReadUserFile(bool& replaceable) {
  std::string bytes;
  replaceable = true;
  const int fd = ::open(UserFilePath().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    replaceable = errno == ENOENT || errno == ENOTDIR;
    return bytes;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    replaceable = false;
  } else {
    char buf[65536];
    while (bytes.size() <= kMaxFileBytes) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) replaceable = false;
      if (n <= 0) break;
      bytes.append(buf, static_cast<std::size_t>(n));
    }
    if (bytes.size() > kMaxFileBytes) {
      // Cut at a line end so no value is read half.
      const auto end = bytes.rfind('\n', kMaxFileBytes);
      bytes.resize(end == std::string::npos ? 0 : end + 1);
    }
  }
  ::close(fd);
  return bytes;
}

struct LoadedHive {
  Hive hive;
  bool replaceable = true;
};

LoadedHive LoadHive() {
  LoadedHive loaded;
  const std::string bytes = ReadUserFile(loaded.replaceable);
  loaded.hive = ParseHive(bytes);
  return loaded;
}

// A temporary file next to user.reg, so the final rename stays on one file system.
int CreateTempFile(std::string& path) {
  const std::string folder = ConfigFolder();
  if (!MakeFolders(folder)) return -1;
  path = folder + "/.user.reg.XXXXXX";
  return ::mkostemp(path.data(), O_CLOEXEC);
}

// Whether a write could be done now: the folder exists or can be made, and
// a file can be created in it.
bool CanWriteHive() {
  std::string tmp;
  const int fd = CreateTempFile(tmp);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(tmp.c_str());
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces user.reg whole: either the old or the new file is there, never a part.
bool SaveHive(const Hive& hive) {
  std::string tmp;
  const int fd = CreateTempFile(tmp);
  if (fd < 0) return false;
  const std::string target = UserFilePath();
  bool ok = WriteAll(fd, FormatHive(hive));
  struct stat st {};
  if (ok && ::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(ConfigFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

// A line break would split the value's line in the file.
bool ValidValueName(const Text& name) {
  for (char16_t c : name) {
    if (c == u'\r' || c == u'\n' || c == u'\0') return false;
  }
  return true;
}

class PosixRegistry final : public Registry {
 public:
  PosixRegistry(RootKey root, std::uint32_t access) : root_(root), access_(access) {}

  bool OpenKeyReadOnly(const Text& path) override { return Open(Resolve(path), false, kKeyRead); }

  bool OpenKey(const Text& path, bool canCreate) override {
    return Open(Resolve(path), canCreate, access_);
  }

  std::vector<Text> GetValueNames() override {
    std::vector<Text> names;
    if (!CanRead()) return names;
    if (root_ == RootKey::LocalMachine) {
      for (const PortMapEntry& e : portMap_) names.push_back(Decode(e.valueName));
      return names;
    }
    LoadedHive loaded = LoadHive();
    if (const Key* key = FindKey(loaded.hive, FullName(path_))) {
      for (const Value& v : key->values) names.push_back(v.name);
    }
    return names;
  }

  bool ValueExists(const Text& name) override {
    if (!CanRead()) return false;
    if (root_ == RootKey::LocalMachine) return FindPort(name) != nullptr;
    LoadedHive loaded = LoadHive();
    return FindValue(FindKey(loaded.hive, FullName(path_)), name) != nullptr;
  }

  bool ReadString(const Text& name, Text& out) override {
    if (!CanRead()) return false;
    if (root_ == RootKey::LocalMachine) {
      const PortMapEntry* e = FindPort(name);
      if (e == nullptr) return false;
      out = Decode(e->data);
      return true;
    }
    LoadedHive loaded = LoadHive();
    const Value* v = FindValue(FindKey(loaded.hive, FullName(path_)), name);
    if (v == nullptr || v->kind != Kind::String) return false;
    out = v->text;
    return true;
  }

  bool ReadInteger(const Text& name, std::int32_t& out) override {
    if (!CanRead() || root_ == RootKey::LocalMachine) return false;
    LoadedHive loaded = LoadHive();
    const Value* v = FindValue(FindKey(loaded.hive, FullName(path_)), name);
    if (v == nullptr || v->kind != Kind::Dword) return false;
    out = static_cast<std::int32_t>(v->dword);
    return true;
  }

  bool WriteInteger(const Text& name, std::int32_t value) override {
    if (!open_ || (keyAccess_ & kKeySetValue) == 0 || root_ == RootKey::LocalMachine ||
        !ValidValueName(name)) {
      return false;
    }
    LoadedHive loaded = LoadHive();
    if (!loaded.replaceable) return false;
    Hive& hive = loaded.hive;
    const Text full = FullName(path_);
    Key* key = FindKey(hive, full);
    if (key == nullptr) {
      // The key existed when opened; it may be implied by a subkey only, or
      // the file may have been removed since.
      hive.push_back(Key{full, {}});
      key = &hive.back();
    }
    Value v;
    v.name = name;
    v.kind = Kind::Dword;
    v.dword = static_cast<std::uint32_t>(value);
    SetValue(*key, std::move(v));
    return SaveHive(hive);
  }

  void CloseKey() override {
    open_ = false;
    path_.clear();
    portMap_.clear();
  }

 private:
  static Text Decode(const std::string& s) {
    Text t;
    Utf8ToText(s, t, true);
    return t;
  }

  Text Resolve(const Text& path) const {
    std::u16string_view p = path;
    const bool fromRoot = !p.empty() && p.front() == u'\\';
    p = TrimBackslashes(p);
    if (fromRoot || !open_ || path_.empty()) return Text(p);
    if (p.empty()) return path_;
    return path_ + u'\\' + Text(p);
  }

  static Text FullName(const Text& path) {
    Text full(kCurrentUser);
    if (!path.empty()) full += u'\\' + path;
    return full;
  }

  bool Open(const Text& path, bool canCreate, std::uint32_t keyAccess) {
    const bool writes = (keyAccess & kKeySetValue) != 0;
    if (root_ == RootKey::LocalMachine) {
      // Read-only, and only the port map and the keys above it exist.
      if (writes || !AtOrBelow(kPortMapKey, path)) return false;
      SetOpen(path, keyAccess);
      if (SameName(path, kPortMapKey)) portMap_ = ReadPortMap();
      return true;
    }
    LoadedHive loaded = LoadHive();
    const Text full = FullName(path);
    bool exists = path.empty();
    for (const Key& k : loaded.hive) exists = exists || AtOrBelow(k.name, full);
    if (!exists) {
      if (!canCreate || !loaded.replaceable) return false;
      loaded.hive.push_back(Key{full, {}});
      if (!SaveHive(loaded.hive)) return false;
    } else if (writes && (!loaded.replaceable || !CanWriteHive())) {
      return false;
    }
    SetOpen(path, keyAccess);
    return true;
  }

  void SetOpen(const Text& path, std::uint32_t keyAccess) {
    CloseKey();
    open_ = true;
    path_ = path;
    keyAccess_ = keyAccess;
  }

  bool CanRead() const { return open_ && (keyAccess_ & kKeyQueryValue) != 0; }

  const PortMapEntry* FindPort(const Text& name) const {
    for (const PortMapEntry& e : portMap_) {
      if (SameName(Decode(e.valueName), name)) return &e;
    }
    return nullptr;
  }

  RootKey root_;
  std::uint32_t access_;
  bool open_ = false;
  Text path_;  // below the root, without outer backslashes
  std::uint32_t keyAccess_ = 0;
  std::vector<PortMapEntry> portMap_;  // taken when the port map is opened
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry(RootKey root, std::uint32_t access) {
  return std::make_unique<PosixRegistry>(root, access);
}

}  // namespace tarvex
