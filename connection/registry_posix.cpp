// Linux registry: HKEY_CURRENT_USER lives in user.reg (registry-export format)
// under the config folder; HKEY_LOCAL_MACHINE holds only the port map.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "connection/port_folder.h"
#include "connection/port_folder_posix.h"
#include "connection/registry.h"
#include "connection/utf8_text.h"

namespace tarvex {

namespace {

// Anything beyond this is not a file we wrote: it is read up to here, and
// never replaced.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::u16string_view kCurrentUser = u"HKEY_CURRENT_USER";
constexpr std::u16string_view kPortMapKey = u"hardware\\devicemap\\serialcomm";
constexpr std::string_view kTempPrefix = ".user.reg.";
constexpr std::size_t kTempSuffixLength = 6;  // mkostemp's XXXXXX

enum class Kind { String, Dword, Other };
enum class Encoding { Utf8, Utf16le };

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Key and value names compare like Windows compares them, ignoring case.
bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

Text Folded(std::u16string_view name) {
  Text folded(name);
  for (char16_t& c : folded) c = Upper(c);
  return folded;
}

// True for a key at or below `key`: every key implies its ancestors.
bool AtOrBelow(std::u16string_view candidate, std::u16string_view key) {
  if (key.empty()) return true;
  if (candidate.size() < key.size() || !SameName(candidate.substr(0, key.size()), key)) return false;
  return candidate.size() == key.size() || candidate[key.size()] == u'\\';
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view TrimSpaces(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
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

// hex: or hex(<type>): — the types kept as they are.
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

// A continuation of hex data: digits, commas and blanks, a backslash only last.
bool IsHexContinuation(std::u16string_view line) {
  line = TrimSpaces(line);
  if (line.empty()) return false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'\\' ? i + 1 != line.size() : (HexDigit(c) < 0 && c != u',' && !IsBlank(c))) return false;
  }
  return true;
}

bool EndsContinued(std::u16string_view line) {
  line = TrimSpaces(line);
  return !line.empty() && line.back() == u'\\';
}

// One line of the file, located in its bytes so that what is not changed is
// written back exactly as it was read.
struct Line {
  std::size_t begin = 0;  // first byte of the content
  std::size_t end = 0;    // past the content, before the line's CRs and LF
  std::size_t next = 0;   // first byte of the next line
  bool hasEnd = false;    // ends in a LF (the last line may not)
};

struct Value {
  Text name;
  Kind kind = Kind::Other;
  Text text;                // Kind::String
  std::uint32_t dword = 0;  // Kind::Dword
  std::size_t first = 0, last = 0;  // its lines
};

struct Key {
  Text name;  // full name as first written, root key included
  std::vector<Value> values;
  std::unordered_map<Text, std::size_t> index;  // folded value name -> values
  // The last section of the key in the file: its header and its last value.
  std::optional<std::size_t> header, lastLine;
};

// user.reg as read: its bytes, their lines, and the keys they hold.
struct UserFile {
  std::string bytes;
  Encoding encoding = Encoding::Utf8;
  std::vector<Line> lines;
  std::vector<Key> keys;
  std::unordered_map<Text, std::size_t> index;  // folded key name -> keys
  bool replaceable = true;  // a write may replace the file

  Key* FindKey(std::u16string_view name) {
    const auto it = index.find(Folded(name));
    return it == index.end() ? nullptr : &keys[it->second];
  }
  Key& AddKey(std::u16string_view name) {
    const auto [it, added] = index.try_emplace(Folded(name), keys.size());
    if (added) keys.push_back(Key{Text(name), {}, {}, {}, {}});
    return keys[it->second];
  }
};

const Value* FindValue(const Key* key, std::u16string_view name) {
  if (key == nullptr) return nullptr;
  const auto it = key->index.find(Folded(name));
  return it == key->index.end() ? nullptr : &key->values[it->second];
}

// A later value of the same name wins; like the registry, the name keeps the
// case it was created with, and its place in the enumeration.
void SetValue(Key& key, Value value) {
  const auto [it, added] = key.index.try_emplace(Folded(value.name), key.values.size());
  if (added) {
    key.values.push_back(std::move(value));
    return;
  }
  Value& old = key.values[it->second];
  value.name = std::move(old.name);
  old = std::move(value);
}

std::size_t UnitSize(Encoding e) { return e == Encoding::Utf16le ? 2 : 1; }

char16_t UnitAt(const std::string& bytes, Encoding e, std::size_t i) {
  const auto lo = static_cast<unsigned char>(bytes[i]);
  if (e == Encoding::Utf8) return lo;
  return static_cast<char16_t>(lo | static_cast<unsigned char>(bytes[i + 1]) << 8);
}

void SplitLines(UserFile& f) {
  const std::string& b = f.bytes;
  std::size_t pos = 0;
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE) {
    f.encoding = Encoding::Utf16le;  // what regedit itself exports
    pos = 2;
  } else if (b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    pos = 3;
  }
  const std::size_t u = UnitSize(f.encoding);
  // Whole units only; an odd last byte of a UTF-16 file stays with the last line.
  const std::size_t limit = pos + (b.size() - pos) / u * u;
  f.lines.reserve(b.size() / 24 + 1);
  for (;;) {
    Line line;
    line.begin = pos;
    std::size_t e = pos;
    while (e < limit && UnitAt(b, f.encoding, e) != u'\n') e += u;
    const bool hasEnd = e < limit;
    line.end = e;
    while (line.end > pos && UnitAt(b, f.encoding, line.end - u) == u'\r') line.end -= u;
    line.next = hasEnd ? e + u : b.size();
    line.hasEnd = hasEnd;
    f.lines.push_back(line);
    if (!hasEnd) break;
    pos = e + u;
  }
}

// The line's content; nothing when it is not valid text.
std::optional<Text> TextOf(const UserFile& f, const Line& line) {
  Text text;
  if (f.encoding == Encoding::Utf8) {
    if (!Utf8ToText(std::string_view(f.bytes).substr(line.begin, line.end - line.begin), text)) return std::nullopt;
    return text;
  }
  if ((line.end - line.begin) % 2 != 0 || line.end > f.bytes.size() - (f.bytes.size() % 2)) return std::nullopt;
  for (std::size_t i = line.begin; i < line.end; i += 2) text.push_back(UnitAt(f.bytes, f.encoding, i));
  return text;
}

// First unit that is not blank, 0 for a blank line: enough to tell a header.
char16_t FirstUnit(const UserFile& f, const Line& line) {
  const std::size_t u = UnitSize(f.encoding);
  for (std::size_t i = line.begin; i + u <= line.end; i += u) {
    const char16_t c = UnitAt(f.bytes, f.encoding, i);
    if (!IsBlank(c)) return c;
  }
  return 0;
}

bool EndsContinued(const UserFile& f, const Line& line) {
  const auto text = TextOf(f, line);
  return text && EndsContinued(*text);
}

// Reads one value line into v; false when the line is not one.
enum class LineKind { Value, Deletion, NotAValue };
LineKind ParseValueLine(std::u16string_view rest, Value& v) {
  if (rest.front() == u'@') {
    rest.remove_prefix(1);
  } else if (!TakeQuoted(rest, v.name)) {
    return LineKind::NotAValue;
  }
  rest = TrimSpaces(rest);
  if (rest.empty() || rest.front() != u'=') return LineKind::NotAValue;
  rest = TrimSpaces(rest.substr(1));
  if (rest == u"-") return LineKind::Deletion;
  if (!rest.empty() && rest.front() == u'"') {
    if (!TakeQuoted(rest, v.text) || !TrimSpaces(rest).empty()) return LineKind::NotAValue;
    v.kind = Kind::String;
  } else if (StartsWithNoCase(rest, u"dword:")) {
    if (!ParseDword(rest.substr(6), v.dword)) return LineKind::NotAValue;
    v.kind = Kind::Dword;
  } else if (IsOtherTypePrefix(rest)) {
    v.kind = Kind::Other;
  } else {
    return LineKind::NotAValue;
  }
  return LineKind::Value;
}

// A line the reader cannot interpret ends the current key: values after it
// may belong to a key whose header could not be read. Every key's name is
// taken, but only the values of `wanted` are read: the others stay bytes.
void ParseKeys(UserFile& f, std::u16string_view wanted) {
  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1), kOtherKey = kNoKey - 1;
  const Text wantedName = Folded(wanted);
  std::size_t current = kNoKey;
  for (std::size_t i = 0; i < f.lines.size(); ++i) {
    const char16_t first = FirstUnit(f, f.lines[i]);
    if (first != u'[' && current >= kOtherKey) continue;
    const std::optional<Text> text = TextOf(f, f.lines[i]);
    if (!text) {
      current = kNoKey;
      continue;
    }
    const std::u16string_view line = TrimSpaces(*text);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      current = kNoKey;
      if (line.back() != u']' || line.size() < 3 || line[1] == u'-') continue;  // broken or deleting
      const std::u16string_view name = TrimBackslashes(line.substr(1, line.size() - 2));
      if (name.empty()) continue;
      Key& key = f.AddKey(name);
      key.header = key.lastLine = i;
      current = Folded(name) == wantedName ? static_cast<std::size_t>(&key - f.keys.data()) : kOtherKey;
      continue;
    }
    Value value;
    value.first = value.last = i;
    const LineKind kind = ParseValueLine(line, value);
    if (kind == LineKind::NotAValue) {
      current = kNoKey;
      continue;
    }
    if (value.kind == Kind::Other) {
      while (EndsContinued(f, f.lines[value.last]) && value.last + 1 < f.lines.size()) {
        const auto next = TextOf(f, f.lines[value.last + 1]);
        if (!next || !IsHexContinuation(*next)) break;
        ++value.last;
      }
    }
    i = value.last;
    Key& key = f.keys[current];
    key.lastLine = value.last;
    if (kind == LineKind::Value) SetValue(key, std::move(value));
  }
}

std::string UserFilePath() { return ConfigFolder() + "/user.reg"; }

// A missing, unreadable or odd file reads as empty. `replaceable` tells
// whether a write may replace it: a file that is there but cannot be read
// whole, or that is read-only, is left alone.
std::string ReadUserFile(bool& replaceable) {
  std::string bytes;
  replaceable = true;
  const std::string path = UserFilePath();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    replaceable = errno == ENOENT || errno == ENOTDIR;
    return bytes;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    replaceable = false;
  } else {
    // Mode bits too: root may write anything, but a file made read-only stays.
    if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) replaceable = false;
    // Straight into the string: one allocation, the size as stat tells it.
    std::size_t have = 0;
    bytes.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)), kMaxFileBytes) + 1);
    while (have <= kMaxFileBytes) {
      if (have == bytes.size()) bytes.resize(std::min(bytes.size() * 2, kMaxFileBytes + 1));
      const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) replaceable = false;
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    bytes.resize(have);
    if (bytes.size() > kMaxFileBytes) {
      // Cut at a line end so no value is read half; never written back.
      replaceable = false;
      const auto end = bytes.rfind('\n', kMaxFileBytes);
      bytes.resize(end == std::string::npos ? 0 : end + 1);
    }
  }
  ::close(fd);
  return bytes;
}

// Reads the file and the values of the key `wanted` (a full name).
UserFile LoadUserFile(std::u16string_view wanted) {
  UserFile f;
  f.bytes = ReadUserFile(f.replaceable);
  SplitLines(f);
  ParseKeys(f, wanted);
  return f;
}

std::string Encode(const UserFile& f, const Text& text) {
  if (f.encoding == Encoding::Utf8) return TextToUtf8(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// The file's own line end, taken from its first line that has one.
std::string LineEnd(const UserFile& f) {
  for (const Line& line : f.lines) {
    if (line.hasEnd) return f.bytes.substr(line.end, line.next - line.end);
  }
  return Encode(f, u"\n");
}

void AppendQuoted(Text& out, const Text& s) {
  out += u'"';
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  out += u'"';
}

Text DwordLine(const Text& name, std::uint32_t value) {
  Text out;
  AppendQuoted(out, name);
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
  out += u"=dword:";
  for (const char* p = digits; *p != '\0'; ++p) out += static_cast<char16_t>(*p);
  return out;
}

bool IsEmpty(const Line& line) { return line.end == line.begin; }

// Adds `lines` (each without its end) as a new section at the end of the file.
void AppendSection(UserFile& f, const std::vector<Text>& lines) {
  const std::string eol = LineEnd(f);
  std::string& b = f.bytes;
  const std::size_t n = f.lines.size();
  if (n == 1 && IsEmpty(f.lines[0])) {
    b += Encode(f, Text(kHeader.begin(), kHeader.end())) + eol + eol;
  } else {
    if (!IsEmpty(f.lines[n - 1])) b += eol;  // the last line had no end yet
    if (!IsEmpty(f.lines[n - 1]) || !IsEmpty(f.lines[n - 2])) b += eol;  // a blank line between sections
  }
  for (const Text& line : lines) b += Encode(f, line) + eol;
  b += eol;
}

// Sets one REG_DWORD in the bytes; every other byte stays as it was.
void PutDword(UserFile& f, const Text& keyName, const Text& name, std::uint32_t value) {
  Key* key = f.FindKey(keyName);
  if (const Value* old = FindValue(key, name); old != nullptr) {
    const std::size_t from = f.lines[old->first].begin, to = f.lines[old->last].end;
    f.bytes.replace(from, to - from, Encode(f, DwordLine(old->name, value)));
    return;
  }
  if (key == nullptr || !key->header) {
    Text header = u"[";
    header += keyName;
    header += u']';
    AppendSection(f, {header, DwordLine(name, value)});
    return;
  }
  // After the key's last value, unless that one ends in a dangling
  // continuation that another reader might extend over the new line.
  std::size_t after = *key->lastLine;
  if (EndsContinued(f, f.lines[after])) after = *key->header;
  const Line& line = f.lines[after];
  const std::string eol = LineEnd(f);
  const std::string text = Encode(f, DwordLine(name, value));
  if (line.hasEnd) {
    f.bytes.insert(line.next, text + eol);
  } else {
    // Before whatever trails the last line (a CR, half a UTF-16 unit).
    f.bytes.insert(line.end, eol + text);
  }
}

// Our own temporary files: ".user.reg." and mkostemp's six characters.
bool IsOurTempName(std::string_view name) {
  return name.size() == kTempPrefix.size() + kTempSuffixLength && name.substr(0, kTempPrefix.size()) == kTempPrefix;
}

// Removes temporary files that an earlier write left behind when it was
// killed. A live writer holds a lock on its file, so those are kept.
void RemoveStaleTempFiles(const std::string& folder) {
  for (const std::string& name : FolderEntries(folder)) {
    if (!IsOurTempName(name)) continue;
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
}

// A temporary file next to user.reg, so the final rename stays on one file
// system; locked for as long as it is open, so no other write removes it.
int CreateTempFile(std::string& path) {
  const std::string folder = ConfigFolder();
  if (!MakeFolders(folder)) return -1;
  for (int attempt = 0; attempt < 3; ++attempt) {
    path = folder + "/" + std::string(kTempPrefix) + std::string(kTempSuffixLength, 'X');
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    // Another write's clean-up may have taken it between creation and lock.
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
    ::close(fd);
  }
  return -1;
}

// Whether a write could be done now: the folder exists or can be made, and
// a file can be created in it.
bool CanWriteFile() {
  std::string tmp;
  const int fd = CreateTempFile(tmp);
  if (fd < 0) return false;
  ::unlink(tmp.c_str());
  ::close(fd);
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
bool SaveUserFile(const std::string& bytes) {
  RemoveStaleTempFiles(ConfigFolder());
  std::string tmp;
  const int fd = CreateTempFile(tmp);
  if (fd < 0) return false;
  const std::string target = UserFilePath();
  bool ok = WriteAll(fd, bytes);
  struct stat st {};
  if (ok && ::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  ok = ok && ::fsync(fd) == 0;
  ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  ok = ::close(fd) == 0 && ok;
  if (!ok) return false;
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
      portReads_.clear();
      return names;
    }
    UserFile file = LoadUserFile(FullName(path_));
    if (const Key* key = file.FindKey(FullName(path_))) {
      for (const Value& v : key->values) names.push_back(v.name);
    }
    return names;
  }

  bool ValueExists(const Text& name) override {
    if (!CanRead()) return false;
    if (root_ == RootKey::LocalMachine) return FindPort(name, 0) != nullptr;
    UserFile file = LoadUserFile(FullName(path_));
    return FindValue(file.FindKey(FullName(path_)), name) != nullptr;
  }

  bool ReadString(const Text& name, Text& out) override {
    if (!CanRead()) return false;
    if (root_ == RootKey::LocalMachine) {
      // Two links to one device share a name: the n-th read of a name since
      // the enumeration reads the n-th of them, so each link is listed once.
      const PortMapEntry* e = FindPort(name, portReads_[Folded(name)]++);
      if (e == nullptr) return false;
      out = Decode(e->data);
      return true;
    }
    UserFile file = LoadUserFile(FullName(path_));
    const Value* v = FindValue(file.FindKey(FullName(path_)), name);
    if (v == nullptr || v->kind != Kind::String) return false;
    out = v->text;
    return true;
  }

  bool ReadInteger(const Text& name, std::int32_t& out) override {
    if (!CanRead() || root_ == RootKey::LocalMachine) return false;
    UserFile file = LoadUserFile(FullName(path_));
    const Value* v = FindValue(file.FindKey(FullName(path_)), name);
    if (v == nullptr || v->kind != Kind::Dword) return false;
    out = static_cast<std::int32_t>(v->dword);
    return true;
  }

  bool WriteInteger(const Text& name, std::int32_t value) override {
    if (!open_ || (keyAccess_ & kKeySetValue) == 0 || root_ == RootKey::LocalMachine ||
        !ValidValueName(name)) {
      return false;
    }
    UserFile file = LoadUserFile(FullName(path_));
    if (!file.replaceable) return false;
    // A key implied by a subkey only, or a file removed since the key was
    // opened, gets a section of its own.
    PutDword(file, FullName(path_), name, static_cast<std::uint32_t>(value));
    return SaveUserFile(file.bytes);
  }

  void CloseKey() override {
    open_ = false;
    path_.clear();
    portMap_.clear();
    portReads_.clear();
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
    const Text full = FullName(path);
    UserFile file = LoadUserFile(full);
    bool exists = path.empty();
    for (const Key& k : file.keys) exists = exists || AtOrBelow(k.name, full);
    if (!exists) {
      if (!canCreate || !file.replaceable) return false;
      Text header = u"[";
      header += full;
      header += u']';
      AppendSection(file, {header});
      if (!SaveUserFile(file.bytes)) return false;
    } else if (writes && (!file.replaceable || !CanWriteFile())) {
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

  // The nth (modulo their count) entry that has this name.
  const PortMapEntry* FindPort(const Text& name, std::size_t nth) const {
    std::vector<const PortMapEntry*> named;
    for (const PortMapEntry& e : portMap_) {
      if (SameName(Decode(e.valueName), name)) named.push_back(&e);
    }
    return named.empty() ? nullptr : named[nth % named.size()];
  }

  RootKey root_;
  std::uint32_t access_;
  bool open_ = false;
  Text path_;  // below the root, without outer backslashes
  std::uint32_t keyAccess_ = 0;
  std::vector<PortMapEntry> portMap_;  // taken when the port map is opened
  std::unordered_map<Text, std::size_t> portReads_;  // folded name -> reads since the enumeration
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry(RootKey root, std::uint32_t access) {
  return std::make_unique<PosixRegistry>(root, access);
}

}  // namespace tarvex
