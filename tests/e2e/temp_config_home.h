#pragma once
// A throw-away XDG_CONFIG_HOME for one test: made with mkdtemp, set in this
// process's environment, restored and removed with everything in it at the end.

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

namespace tarvex::test {

class TempConfigHome {
 public:
  TempConfigHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) previous_ = old;
    char tmpl[] = "/tmp/tarvex-test-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
    setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
  }
  ~TempConfigHome() {
    if (previous_) {
      setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    if (!path_.empty()) {
      // Depth first and without following links: never leaves the tree.
      nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
           FTW_DEPTH | FTW_PHYS);
    }
  }
  TempConfigHome(const TempConfigHome&) = delete;
  TempConfigHome& operator=(const TempConfigHome&) = delete;

  const std::string& path() const { return path_; }
  std::string portFolder() const { return path_ + "/Halvik/Tarvex/ports"; }

 private:
  std::string path_;
  std::optional<std::string> previous_;
};

}  // namespace tarvex::test
