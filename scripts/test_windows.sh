#!/usr/bin/env bash
# Cross-builds the Windows variant with MinGW-w64 into build/windows and runs
# its test program under Wine, in a fresh prefix, against encoder simulators on
# pseudo-terminals linked as COM ports. Exits non-zero on any failure.
#
# Optional: BUILD_DIR (default build/windows), WINE, WINESERVER, JOBS.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build/windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}

echo "=== windows build ==="
cmake -S "$top" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON \
  -DTARVEX_GUI=OFF -DTARVEX_BENCH=OFF
cmake --build "$build" -j "$jobs"
tests_exe="$build/tests/windows/tarvex_windows_tests.exe"

# The simulator is a Linux program: take the plain build's, or make a small
# host build just for it.
host="$top/build/plain"
if [ ! -f "$host/CMakeCache.txt" ]; then
  host="$build-host"
  cmake -S "$top" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVEX_GUI=OFF -DTARVEX_TESTS=OFF -DTARVEX_BENCH=OFF
fi
cmake --build "$host" -j "$jobs" --target tarvex-encoder-sim
sim="$host/tools/tarvex-encoder-sim"
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 1; }

echo "=== windows tests under Wine ==="
run="$build/wine-run"
rm -rf "$run"
mkdir -p "$run/prefix" "$run/xdg" "$run/logs"
export WINEPREFIX="$run/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_CONFIG_HOME="$run/xdg"

sim_pids=()
xvfb_pid=
server_up=
cleanup() {
  # Wine first: it holds the pseudo-terminals' slaves, whose masters the
  # simulators close when they end.
  if [ -n "$server_up" ]; then "$wineserver" -k 2>/dev/null || true; fi
  for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${sim_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$xvfb_pid" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# The screen-saver tests create windows, which Wine only does with a display.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$run/display" 2>"$run/logs/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.1; done
[ -s "$run/display" ] || { echo "Xvfb did not start" >&2; cat "$run/logs/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$run/display")"

# One persistent server for the whole run, since the port map key is
# volatile; `wineserver -k` at the end leaves no Wine process behind.
"$wineserver" -p
server_up=1
"$wine" wineboot -i >"$run/logs/wineboot.log" 2>&1

# One simulator per case, each on its own port number. The identity is the
# one tests/windows/serial_port_test.cpp expects.
identity=(--type QR46ABS --serial A1B2C3 --shaft SH0750 --firmware 4.8.2.16909060
  --asic 7 --resolution 10 --start 123456 --status 0x0100)
start_sim() {
  local var=$1 port=$2; shift 2
  "$sim" --port "$port" "$@" >"$run/logs/sim$port.out" 2>"$run/logs/sim$port.err" &
  sim_pids+=($!)
  local line=
  for _ in $(seq 100); do
    line=$(head -n1 "$run/logs/sim$port.out" 2>/dev/null || true)
    [ -n "$line" ] && break
    sleep 0.05
  done
  local pts=${line#* }
  if [ "${line%% *}" != "COM$port" ] || [ ! -c "$pts" ]; then
    echo "simulator on COM$port did not start: '$line'" >&2
    cat "$run/logs/sim$port.err" >&2
    exit 1
  fi
  ln -sfn "$pts" "$WINEPREFIX/dosdevices/com$port"
  export "$var=$port"
}
start_sim TARVEX_COM_OLD 11 "${identity[@]}" --layout old
start_sim TARVEX_COM_46 12 "${identity[@]}" --layout 46
start_sim TARVEX_COM_48 13 "${identity[@]}" --layout 48
start_sim TARVEX_COM_OLD_ECHO 14 "${identity[@]}" --layout old --echo
start_sim TARVEX_COM_46_ECHO 15 "${identity[@]}" --layout 46 --echo
start_sim TARVEX_COM_48_ECHO 16 "${identity[@]}" --layout 48 --echo
# NUL, LF, CR, XON, XOFF and 0xFF in both replies.
start_sim TARVEX_COM_BYTES 17 "${identity[@]}" --layout 48 \
  --type '\x00\x0a\x0d\x11\x13\xffT' --start 0x000A0D11 --status 0x13FF
start_sim TARVEX_COM_SILENT 18 "${identity[@]}" --silent
start_sim TARVEX_COM_DCB 19 "${identity[@]}"
rm -f "$WINEPREFIX/dosdevices/com98"
export TARVEX_COM_ABSENT=98

# The port map, as a driver would fill it.
serialcomm='\Device\Serial9=COM9;\Device\Serial12=COM12;\Device\VCP0=COM;\Device\Modem0=modem5'
IFS=';' read -ra entries <<<"$serialcomm"
for entry in "${entries[@]}"; do
  "$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "${entry%%=*}" /t REG_SZ /d "${entry#*=}" /f \
    >>"$run/logs/reg.log" 2>&1
done
export TARVEX_SERIALCOMM="$serialcomm"

status=0
"$wine" "$tests_exe" --gtest_color=no || status=$?
trap - EXIT
cleanup
if [ "$status" -ne 0 ]; then
  echo "Windows tests failed (exit $status); logs in $run/logs" >&2
  exit "$status"
fi
echo "Windows tests passed."
