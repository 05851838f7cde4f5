#pragma once
// What scripts/test_windows.sh sets up for the test program: simulated ports
// and registry values, announced through environment variables.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "core/types.h"

namespace tarvex::wintest {

// Port number from variable `name`; 0 (and a test failure) when unset or bad.
unsigned PortFromEnvironment(const char* name);

// "name=data;name=data" from variable `name`; empty (and a failure) when unset.
std::vector<std::pair<std::wstring, std::wstring>> PairsFromEnvironment(const char* name);

std::wstring Wide(const Text& text);
Text FromWide(const std::wstring& text);

// Directory of the running test program, with a trailing backslash.
std::wstring ProgramDirectory();

}  // namespace tarvex::wintest
