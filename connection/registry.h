#pragma once
// The registry as the program uses it: one object holds a root key, an access
// mask and at most one open key. Windows: advapi32. Linux: HKEY_CURRENT_USER
// is $XDG_CONFIG_HOME/Halvik/Tarvex/user.reg in registry-export format, and
// HKEY_LOCAL_MACHINE\hardware\devicemap\serialcomm is the port map.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/types.h"

namespace tarvex {

enum class RootKey { CurrentUser, LocalMachine };

inline constexpr std::uint32_t kKeyRead = 0x20019, kKeyAllAccess = 0xF003F;
// Single rights inside those masks.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001, kKeySetValue = 0x0002;

// Paths with a leading backslash start at the root key; without one they
// start at the open key, or at the root when none is open.
class Registry {
 public:
  virtual ~Registry() = default;
  // Opens an existing key for reading, whatever the object's access.
  virtual bool OpenKeyReadOnly(const Text& path) = 0;
  // Opens with the object's access; creates the key when allowed to.
  virtual bool OpenKey(const Text& path, bool canCreate) = 0;
  // Value names of the open key in enumeration order; empty if none is open.
  virtual std::vector<Text> GetValueNames() = 0;
  virtual bool ValueExists(const Text& name) = 0;
  // False when the value is missing or not a string.
  virtual bool ReadString(const Text& name, Text& out) = 0;
  // False when the value is missing or not a 32-bit integer (REG_DWORD).
  virtual bool ReadInteger(const Text& name, std::int32_t& out) = 0;
  // Writes a REG_DWORD; false on failure.
  virtual bool WriteInteger(const Text& name, std::int32_t value) = 0;
  virtual void CloseKey() = 0;
};

std::unique_ptr<Registry> MakeSystemRegistry(RootKey root, std::uint32_t access);

}  // namespace tarvex
