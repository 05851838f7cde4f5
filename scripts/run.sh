#!/usr/bin/env bash
# Builds the monitor and the encoder simulator, then runs them together: the
# simulator is registered as a port in a private configuration folder under
# the build tree and remembered there, so the monitor comes up connected and
# moving without touching the user's own settings. Options go to the
# simulator; with --help it only prints its options.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# Only what the two programs need: the tests and benchmarks are not built here.
packages=(cmake g++ make pkg-config qt6-base-dev libserialport-dev libjpeg62-turbo-dev fonts-liberation)
if command -v apt-get >/dev/null; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi

build="$top/build/run"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_TESTS=OFF -DTARVEX_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target tarvex-monitor tarvex-encoder-sim

export XDG_CONFIG_HOME="$build/config"
mkdir -p "$XDG_CONFIG_HOME"

line_file=$(mktemp)
"$build/tools/tarvex-encoder-sim" --motion sine --speed 20000 "$@" >"$line_file" &
sim=$!
trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null || true; [ -z "$sim" ] || wait "$sim" 2>/dev/null || true; rm -f "$line_file"' EXIT
# The simulator's first line names its port: "COM<n> <terminal>". Anything
# else, or an exit, means it is not serving, and nothing is remembered.
port_line=
for _ in $(seq 200); do
  if IFS= read -r port_line <"$line_file" && [[ $port_line =~ ^COM([0-9]+)\ (/dev/.+)$ ]]; then
    break
  fi
  port_line=
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$port_line" ]; then
  if kill -0 "$sim" 2>/dev/null; then
    echo "the encoder simulator gave no port within 10 s" >&2
    exit 1
  fi
  status=0
  wait "$sim" || status=$?
  sim=
  if [ "$status" = 0 ]; then
    # It had only to print something, as with --help.
    cat "$line_file"
    exit 0
  fi
  echo "the encoder simulator did not start (exit code $status); nothing was remembered" >&2
  exit "$status"
fi
port=${BASH_REMATCH[1]}
echo "Encoder simulator on COM$port (${BASH_REMATCH[2]})"

# Remember the simulator's port, as the monitor itself does at exit; written
# whole or not at all.
settings="$XDG_CONFIG_HOME/Halvik/Tarvex"
mkdir -p "$settings"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\r\n"zadnji_izbran_COM_port"=dword:%08x\r\n' \
  "$port" >"$settings/user.reg.new"
mv -f "$settings/user.reg.new" "$settings/user.reg"

"$build/ui/tarvex-monitor"
