#!/usr/bin/env bash
# Cross-builds the Windows variant with MinGW-w64 into build/windows and runs
# its test programs under Wine, in a fresh prefix, against encoder simulators on
# pseudo-terminals linked as COM ports. Exits non-zero on any failure.
#
# libjpeg is cross-built first into BUILD_DIR-deps (scripts/mingw_libjpeg.sh).
# Optional: BUILD_DIR (default build/windows), HOST_BUILD_DIR (a Linux build for
# the simulator, default build/plain), WINE, WINESERVER, JOBS,
# TARVEX_SCREENSHOT_DIR (pictures of the running program go there).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build/windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}

echo "=== windows build ==="
# libjpeg cross-built from Debian's source package; skipped once installed.
jpeg_prefix=$(bash "$top/scripts/mingw_libjpeg.sh" "$build-deps" | tail -n1)
cmake -S "$top" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_WERROR=ON \
  -DTARVEX_GUI=ON -DTARVEX_BENCH=OFF -DCMAKE_PREFIX_PATH="$jpeg_prefix"
cmake --build "$build" -j "$jobs"
tests_exe="$build/tests/windows/tarvex_windows_tests.exe"

# The simulator is a Linux program: take the plain build's, or make a small
# host build just for it.
host="${HOST_BUILD_DIR:-$top/build/plain}"
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
watcher_pid=
server_up=
cleanup() {
  # Wine first: it holds the pseudo-terminals' slaves, whose masters the
  # simulators close when they end.
  if [ -n "$server_up" ]; then "$wineserver" -k 2>/dev/null || true; fi
  if [ -n "$watcher_pid" ]; then kill -TERM "$watcher_pid" 2>/dev/null || true; fi
  # A stopped simulator hears its SIGTERM only once continued.
  for pid in "${sim_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; kill -CONT "$pid" 2>/dev/null || true; done
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
# The windows' tests: one simulator to connect to, one whose link is lost.
start_sim TARVEX_COM_FORMS 20 "${identity[@]}"
start_sim TARVEX_COM_FORMS_LOST 21 "${identity[@]}"
lost_pid=${sim_pids[-1]}
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

# The tests stop and continue the COM21 simulator by leaving a file named
# "stop" or "cont" in this folder; it is removed once done.
control="$run/sim-control"
mkdir -p "$control"
export TARVEX_SIM_CONTROL="Z:${control//\//\\}"
(
  while :; do
    for request in stop cont; do
      if [ -f "$control/$request" ]; then
        kill -"${request^^}" "$lost_pid" 2>/dev/null || true
        rm -f "$control/$request"
      fi
    done
    sleep 0.05
  done
) &
watcher_pid=$!

# Wine has no Arial, Tahoma or MS Sans Serif: the metric-compatible
# Liberation Sans stands in for them, as on Linux.
for face in Arial Tahoma "MS Sans Serif"; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "Liberation Sans" /f \
    >>"$run/logs/reg.log" 2>&1
done

# The program itself on the remembered COM20, framed by openbox where there
# is one; main window first, then the settings window its header opens.
screenshots() {
  local dir=$1 wm_pid= main= tool= ok=0
  mkdir -p "$dir"
  if command -v openbox >/dev/null; then
    openbox >"$run/logs/openbox.log" 2>&1 &
    wm_pid=$!
    sleep 1
  fi
  "$wine" reg add 'HKCU\Software\Halvik\Tarvex' /v zadnji_izbran_COM_port /t REG_DWORD /d "$TARVEX_COM_FORMS" /f \
    >>"$run/logs/reg.log" 2>&1
  "$wine" "$build/ui/tarvex-monitor.exe" >"$run/logs/monitor.log" 2>&1 &
  main=$(timeout 30 xdotool search --sync --name 'Ver: ' | head -n1) || true
  if [ -n "$main" ]; then
    sleep 3  # a few readings
    import -window "$main" -frame "$dir/windows-main.png" || ok=1
    xdotool mousemove --window "$main" 300 30 click 1
    tool=$(timeout 10 xdotool search --sync --name '^Port Setings$' | head -n1) || true
    sleep 1
    if [ -n "$tool" ]; then import -window "$tool" -frame "$dir/windows-settings.png" || ok=1; else ok=1; fi
  else
    ok=1
  fi
  "$wine" reg delete 'HKCU\Software\Halvik\Tarvex' /f >>"$run/logs/reg.log" 2>&1 || true
  if [ -n "$wm_pid" ]; then kill -TERM "$wm_pid" 2>/dev/null || true; wait "$wm_pid" 2>/dev/null || true; fi
  [ "$ok" -eq 0 ] || echo "screenshots failed; see $run/logs/monitor.log" >&2
  return "$ok"
}

status=0
# Bounded: a test that hangs fails the run instead of holding it.
timeout 600 "$wine" "$tests_exe" --gtest_color=no || status=$?
forms_exe="$build/tests/windows/tarvex_windows_forms_tests.exe"
if [ -f "$forms_exe" ]; then
  # The warning-box case runs in a process of its own, under a shorter bound
  # of its own, so a box that is never closed is told apart from the rest.
  timeout 600 "$wine" "$forms_exe" --gtest_color=no --gtest_filter='-Link.FailedOpen*' || status=$?
  timeout 300 "$wine" "$forms_exe" --gtest_color=no --gtest_filter='Link.FailedOpen*' || status=$?
fi

# Pictures of both windows, connected, for the documentation.
if [ -n "${TARVEX_SCREENSHOT_DIR:-}" ] && [ "$status" -eq 0 ]; then
  screenshots "$TARVEX_SCREENSHOT_DIR" || status=$?
fi
trap - EXIT
cleanup
if [ "$status" -ne 0 ]; then
  echo "Windows tests failed (exit $status); logs in $run/logs" >&2
  exit "$status"
fi
echo "Windows tests passed."
