#pragma once
// Linux stand-in for the COM port namespace: $XDG_CONFIG_HOME/Halvik/Tarvex/ports/,
// where the symbolic link COM<n> names port n's device.

#include <string>
#include <vector>

namespace tarvex {

// $XDG_CONFIG_HOME/Halvik/Tarvex (XDG_CONFIG_HOME defaults to ~/.config).
std::string ConfigFolder();
// ConfigFolder() + "/ports".
std::string PortFolder();

struct PortMapEntry {
  std::string valueName;  // device path the link points to, e.g. /dev/ttyUSB0
  std::string data;       // "COM<n>"
};

// The port map (stand-in for HKLM\hardware\devicemap\serialcomm): first gives
// every device the system reports that no link points to yet a new link with
// the lowest free number; then lists each link whose target exists, ascending.
std::vector<PortMapEntry> ReadPortMap();

}  // namespace tarvex
