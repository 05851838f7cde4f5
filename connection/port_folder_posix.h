#pragma once
// The port folder's building blocks, shared by the port map, the serial
// ports, the encoder simulator and the tests.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "connection/port_folder.h"

namespace tarvex {

// Number of a folder entry named COM<n>: n >= 1, decimal digits without a
// leading zero, upper-case "COM". Other names are not ports.
std::optional<unsigned> ParsePortName(std::string_view name);

// PortFolder() + "/COM<n>".
std::string PortLinkPath(unsigned n);

// What a symbolic link says, as written; nothing when `path` is no link.
std::optional<std::string> LinkText(const std::string& path);

// Entry names of a folder other than . and .., sorted; none when it cannot be read.
std::set<std::string> FolderEntries(const std::string& folder);

// The console line for port n that could not be opened: the device its link
// names, the reason, and for a refused permission what to do about it.
std::string OpenFailureLine(unsigned n, const std::string& device, int error);

// Creates `path` and its missing parents; true when it exists as a folder.
bool MakeFolders(const std::string& path);

// Gives every device in `devices` that no link in `folder` resolves to a new
// link COM<n>, lowest free n >= 1 (a dangling link still holds its number).
// Devices that do not exist are skipped; paths are compared canonically. The
// link names the device by its name under `serialRoot`/by-id, else
// `serialRoot`/by-path, else as given.
void AssignLinks(const std::string& folder, const std::vector<std::string>& devices,
                 const std::string& serialRoot = "/dev/serial");

// Links of `folder` whose target exists and is a character device, in
// ascending port number; valueName is the target as the link spells it.
std::vector<PortMapEntry> ListLinks(const std::string& folder);

}  // namespace tarvex
