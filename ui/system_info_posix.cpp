// Caption identity on Linux: version from the build, host and user from the system.

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "connection/utf8_text.h"
#include "core/text.h"
#include "ui/system_info.h"

#if !defined(TARVEX_VERSION_MAJOR) || !defined(TARVEX_VERSION_MINOR) || \
    !defined(TARVEX_VERSION_RELEASE) || !defined(TARVEX_VERSION_BUILD)
#error "The build passes the program's version as TARVEX_VERSION_MAJOR..BUILD"
#endif

namespace tarvex {

namespace {

// Like the NetBIOS name Windows shows.
constexpr std::size_t kComputerNameChars = 15;

Text Decode(const std::string& s) {
  Text t;
  Utf8ToText(s, t, true);
  return t;
}

}  // namespace

Text ProgramVersionText() {
  return UIntToText(TARVEX_VERSION_MAJOR) + u"." + UIntToText(TARVEX_VERSION_MINOR) + u"." +
         UIntToText(TARVEX_VERSION_RELEASE) + u"." + UIntToText(TARVEX_VERSION_BUILD);
}

Text ComputerNameText() {
  char buf[HOST_NAME_MAX + 1] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return Text();
  Text name = Decode(buf);
  if (name.size() > kComputerNameChars) {
    std::size_t cut = kComputerNameChars;
    // Do not leave half of a surrogate pair behind.
    if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF) --cut;
    name.resize(cut);
  }
  return name;
}

Text UserNameText() {
  const uid_t uid = geteuid();
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
  for (;;) {
    passwd pw{};
    passwd* found = nullptr;
    const int rc = getpwuid_r(uid, &pw, buf.data(), buf.size(), &found);
    if (rc == ERANGE && buf.size() < (std::size_t{1} << 20)) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc == 0 && found != nullptr && found->pw_name != nullptr) return Decode(found->pw_name);
    // No entry in the user database (common in containers): the number still says who.
    return UIntToText(uid);
  }
}

}  // namespace tarvex
