#!/usr/bin/env bash
# Installs what the build and the tests need (as root on Debian 12), then
# builds and runs every test in a plain build and in one under ASan + UBSan,
# checks that the plain build installs and packages as a desktop program, and
# runs the Windows program's tests under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev libserialport-dev libjpeg62-turbo-dev
  fonts-liberation xvfb xauth dbus-daemon
  g++-mingw-w64-x86-64 wine64 googletest dpkg-dev
  desktop-file-utils appstream groff-base
)
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

jobs=$(nproc 2>/dev/null || echo 2)
run_variant() {
  local name=$1; shift
  local dir="$top/build/$name"
  echo "=== $name build ==="
  cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure --timeout 300)
}

run_variant plain
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions="$top/scripts/lsan.supp" \
  run_variant sanitize -DTARVEX_SANITIZE=ON -DTARVEX_BENCH=OFF
bash "$top/scripts/test_install.sh" "$top/build/plain"
bash "$top/scripts/test_windows.sh"
echo "All test runs passed."
