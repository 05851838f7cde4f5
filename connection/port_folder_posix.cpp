#include "connection/port_folder_posix.h"

#include <dirent.h>
#include <libserialport.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

namespace tarvex {

namespace {

// Larger numbers are not ports: keeps the parse free of overflow.
constexpr unsigned kMaxPortNumber = 999999;

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  // getpwuid's buffer is static; only the copy leaves this function.
  if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/";
}

std::optional<std::string> Canonical(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

// Port number -> entry name, for every COM<n> entry of the folder.
std::map<unsigned, std::string> PortEntries(const std::string& folder) {
  std::map<unsigned, std::string> entries;
  for (const std::string& name : FolderEntries(folder)) {
    if (auto n = ParsePortName(name)) entries.emplace(*n, name);
  }
  return entries;
}

std::vector<std::string> SystemSerialDevices() {
  std::vector<std::string> devices;
  sp_port** ports = nullptr;
  if (sp_list_ports(&ports) != SP_OK || ports == nullptr) return devices;
  for (sp_port** p = ports; *p != nullptr; ++p) {
    if (const char* name = sp_get_port_name(*p)) devices.emplace_back(name);
  }
  sp_free_port_list(ports);
  return devices;
}

}  // namespace

std::optional<std::string> LinkText(const std::string& path) {
  std::string buf(256, '\0');
  for (;;) {
    const ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0) return std::nullopt;
    if (static_cast<std::size_t>(n) < buf.size()) {
      buf.resize(static_cast<std::size_t>(n));
      return buf;
    }
    if (buf.size() >= 65536) return std::nullopt;
    buf.resize(buf.size() * 2);
  }
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> entries;
  struct CloseDir {
    void operator()(DIR* d) const { closedir(d); }
  };
  std::unique_ptr<DIR, CloseDir> dir(opendir(folder.c_str()));
  if (!dir) return entries;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") entries.insert(name);
  }
  return entries;
}

std::string ConfigFolder() {
  // XDG: a relative XDG_CONFIG_HOME is invalid and is ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base = (xdg != nullptr && xdg[0] == '/') ? std::string(xdg) : HomeFolder() + "/.config";
  return base + "/Halvik/Tarvex";
}

std::string PortFolder() { return ConfigFolder() + "/ports"; }

std::optional<unsigned> ParsePortName(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM" || name[3] == '0') return std::nullopt;
  unsigned n = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > kMaxPortNumber) return std::nullopt;
  }
  return n;
}

std::string PortLinkPath(unsigned n) { return PortFolder() + "/COM" + std::to_string(n); }

bool MakeFolders(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return false;
}

std::map<std::string, std::string> StableNames(const std::string& serialRoot) {
  std::map<std::string, std::string> names;
  // by-id first: it carries the adapter's serial number; by-path only for
  // devices that have no id.
  for (const char* kind : {"/by-id", "/by-path"}) {
    const std::string dir = serialRoot + kind;
    // Sorted entries: of several names for one device, the same one every time.
    for (const std::string& name : FolderEntries(dir)) {
      const std::string path = dir + "/" + name;
      if (auto device = Canonical(path)) names.emplace(*device, path);
    }
  }
  return names;
}

void AssignLinks(const std::string& folder, const std::vector<std::string>& devices, const std::string& serialRoot) {
  const auto entries = PortEntries(folder);
  const auto stable = StableNames(serialRoot);
  std::set<std::string> linked;
  for (const auto& [n, name] : entries) {
    if (auto target = Canonical(folder + "/" + name)) linked.insert(*target);
  }
  unsigned candidate = 1;
  for (const auto& device : devices) {
    const auto canonical = Canonical(device);
    if (!canonical || linked.count(*canonical) != 0) continue;
    // Lowest number no entry holds; a link made meanwhile by someone else
    // shows up as EEXIST and moves us on.
    for (; candidate <= kMaxPortNumber; ++candidate) {
      if (entries.count(candidate) != 0) continue;
      const std::string link = folder + "/COM" + std::to_string(candidate);
      // The stable name, so that the number stays with the adapter whatever
      // the order the kernel names devices in.
      const auto name = stable.find(*canonical);
      const std::string& target = name != stable.end() ? name->second : device;
      if (symlink(target.c_str(), link.c_str()) == 0) {
        linked.insert(*canonical);
        ++candidate;
        break;
      }
      if (errno != EEXIST) return;  // folder not writable: nothing more to do
    }
  }
}

std::vector<PortMapEntry> ListLinks(const std::string& folder) {
  std::vector<PortMapEntry> map;
  for (const auto& [n, name] : PortEntries(folder)) {
    const std::string path = folder + "/" + name;
    const auto text = LinkText(path);
    if (!text) continue;  // not a link
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;  // gone, loop, not a device
    map.push_back({*text, "COM" + std::to_string(n)});
  }
  return map;  // ascending: the map is ordered by number
}

std::vector<PortMapEntry> ReadPortMap() {
  const std::string folder = PortFolder();
  if (MakeFolders(folder)) AssignLinks(folder, SystemSerialDevices());
  return ListLinks(folder);
}

}  // namespace tarvex
