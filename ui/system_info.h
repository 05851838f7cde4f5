#pragma once
// Who and what the program is, for the main window's caption.

#include <string>

#include "core/types.h"

namespace tarvex {

// File version as "46.1.0.8". Windows: the running executable's version
// resource; Linux: the numbers the build was made with. Empty when unknown.
Text ProgramVersionText();
// At most 15 characters, like a NetBIOS name.
Text ComputerNameText();
// The (effective) user's login name.
Text UserNameText();

// designCaption + " (Ver: " + version + "; PC: " + computer + "; User: " + user + ")"
Text BuildCaption(const Text& designCaption, const Text& version, const Text& computer,
                  const Text& user);

#ifdef _WIN32
// The fixed file version of an executable's version resource; empty when it
// has none or it cannot be read.
Text FileVersionTextOf(const std::wstring& exePath);
#endif

}  // namespace tarvex
