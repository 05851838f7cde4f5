#!/usr/bin/env bash
# Builds the monitor and the encoder simulator, then runs them together: the
# simulator is registered as a port in a private configuration folder under
# the build tree and remembered there, so the monitor comes up connected and
# moving without touching the user's own settings.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(cmake g++ make pkg-config qt6-base-dev libserialport-dev libjpeg62-turbo-dev fonts-liberation
          libgtest-dev libgmock-dev libbenchmark-dev)
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
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$line_file"' EXIT
for _ in $(seq 100); do
  [ -s "$line_file" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "the encoder simulator did not start" >&2; exit 1; }
  sleep 0.05
done
read -r port_name pts < "$line_file"
port=${port_name#COM}
echo "Encoder simulator on COM$port ($pts)"

# Remember the simulator's port, as the monitor itself does at exit.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Halvik\\Tarvex]\r\n"zadnji_izbran_COM_port"=dword:%08x\r\n' \
  "$port" > "$XDG_CONFIG_HOME/Halvik/Tarvex/user.reg"

"$build/ui/tarvex-monitor"
