#!/usr/bin/env bash
# Checks that a Linux build installs as a desktop program: validates the menu
# entry and the AppStream metadata, installs into a scratch root, checks the
# files there and that the installed programs start, then builds the Debian
# package and checks its Depends and that it holds what the install holds.
# The build (default build/plain) must be built already.
#
#   bash scripts/test_install.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${TARVEX_INSTALL_BUILD:-$top/build/plain}}" && pwd)
app_id=com.halvik.TarvexMonitor
sizes=(16 32 48 64 128 256)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }

echo "=== install check ($build) ==="
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" \
  || { cat "$work/install.log" >&2; fail "cmake --install failed"; }
usr="$work/root/usr"

expected=(
  bin/tarvex-monitor bin/tarvex-encoder-sim
  "share/applications/$app_id.desktop"
  "share/metainfo/$app_id.metainfo.xml"
  share/man/man1/tarvex-monitor.1 share/man/man1/tarvex-encoder-sim.1
  share/doc/tarvex-monitor/copyright
  share/doc/tarvex-monitor/60-tarvex-serial.rules
)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/$app_id.png"); done
for f in "${expected[@]}"; do
  [ -f "$usr/$f" ] || fail "not installed: /usr/$f"
done
cmp -s "$top/LICENSE" "$usr/share/doc/tarvex-monitor/copyright" || fail "the installed copyright is not LICENSE"
installed=$(cd "$work/root" && find . ! -type d | sed 's|^\./||' | sort)
echo "$installed"
[ "$(wc -l <<<"$installed")" = "${#expected[@]}" ] || fail "installed files other than the expected ${#expected[@]}"

desktop="$usr/share/applications/$app_id.desktop"
metainfo="$usr/share/metainfo/$app_id.metainfo.xml"
desktop-file-validate "$desktop" && echo "desktop-file-validate: no complaints"
appstreamcli validate --no-net "$metainfo"

# The entry, the metadata and the icons must name each other.
grep -qx "Exec=tarvex-monitor" "$desktop" || fail "the menu entry does not start tarvex-monitor"
grep -qx "Icon=$app_id" "$desktop" || fail "the menu entry's icon is not $app_id"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metadata's id is not $app_id"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
  || fail "the metadata does not launch $app_id.desktop"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
grep -q "<release version=\"$version\"" "$metainfo" \
  || fail "the metadata's release is not the project's version"

# Each icon as large as its folder says: width and height from the PNG header.
for s in "${sizes[@]}"; do
  png="$usr/share/icons/hicolor/${s}x${s}/apps/$app_id.png"
  read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [ "$w" = "$s" ] && [ "$h" = "$s" ] || fail "${s}x${s} icon is ${w}x${h}"
done

for page in tarvex-monitor tarvex-encoder-sim; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$usr/share/man/man1/$page.1" 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
# Every option the simulator lists is in its manual page.
sim_help=$("$usr/bin/tarvex-encoder-sim" --help) || fail "the installed simulator's --help failed"
for opt in $(grep -o -- '--[a-z]\+' <<<"$sim_help" | sort -u); do
  grep -qF -- "${opt//-/\\-}" "$usr/share/man/man1/tarvex-encoder-sim.1" || fail "tarvex-encoder-sim.1 lacks $opt"
done

# The installed monitor starts and keeps running: still up when timeout ends
# it after 2 s (status 124); an early exit or a crash is a failure.
mkdir "$work/config"
status=0
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
  timeout 2 "$usr/bin/tarvex-monitor" >"$work/monitor.log" 2>&1 || status=$?
if [ "$status" != 124 ]; then
  cat "$work/monitor.log" >&2
  fail "the installed monitor ended on its own within 2 s (status $status)"
fi
echo "the installed monitor ran for 2 s"

# The Debian package: its Depends, and the same files as the install.
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log") \
  || { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$work"/deb/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
dpkg-deb -I "$deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6gui6 libqt6dbus6 libqt6core6 libserialport0 libjpeg62-turbo fonts-liberation; do
  grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
# Every package named is a real one: the build machine has them all.
for p in $(sed 's/([^)]*)//g; s/,/ /g' <<<"$depends"); do
  dpkg-query -W "$p" >/dev/null 2>&1 || fail "Depends names $p, which is no installed Debian package"
done
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
[ "$packaged" = "$installed" ] || {
  diff <(echo "$installed") <(echo "$packaged") >&2 || true
  fail "the package's files differ from the install's"
}
echo "Install check passed: $(basename "$deb")"
