// Caption identity on Linux.

#include <gtest/gtest.h>
#include <limits.h>
#include <pwd.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ui/system_info.h"

namespace tarvex {
namespace {

Text Ascii(const std::string& s) { return Text(s.begin(), s.end()); }

TEST(SystemInfo, CaptionJoinsThePartsInOrder) {
  EXPECT_EQ(BuildCaption(u"Tarvex\u2122 & Qorin Demo (Serial / USB)", u"46.1.0.8", u"BENCH-PC", u"ana"),
            u"Tarvex\u2122 & Qorin Demo (Serial / USB) (Ver: 46.1.0.8; PC: BENCH-PC; User: ana)");
  // A version that could not be read leaves the label with nothing after it.
  EXPECT_EQ(BuildCaption(u"T", u"", u"pc", u"u"), u"T (Ver: ; PC: pc; User: u)");
}

TEST(SystemInfo, VersionIsTheOneTheBuildWasGiven) {
  EXPECT_EQ(ProgramVersionText(), Ascii(TARVEX_EXPECTED_VERSION));
}

TEST(SystemInfo, ComputerNameIsTheHostNameCutToFifteen) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const Text name = ComputerNameText();
  const Text full = Ascii(host);
  EXPECT_LE(name.size(), 15u);
  EXPECT_EQ(name, full.substr(0, 15));
}

TEST(SystemInfo, LongHostNameIsCutLikeANetbiosName) {
  // A host name of our own in a private UTS namespace, in a child process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const char name[] = "bench-station-0042.example";
    if (unshare(CLONE_NEWUTS) != 0 || sethostname(name, sizeof name - 1) != 0) _exit(2);
    _exit(ComputerNameText() == u"bench-station-0" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no permission to set a host name in a new UTS namespace";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the name was not cut to its first 15 characters";
}

TEST(SystemInfo, UserNameIsTheEffectiveUsers) {
  const passwd* pw = getpwuid(geteuid());
  if (pw == nullptr) GTEST_SKIP() << "the effective user has no entry in the user database";
  EXPECT_EQ(UserNameText(), Ascii(pw->pw_name));
}

}  // namespace
}  // namespace tarvex
