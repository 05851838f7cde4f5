#!/usr/bin/env bash
# Cross-builds a static libjpeg for 64-bit Windows from Debian's own
# libjpeg-turbo source package, since Debian ships no MinGW build of it.
# Adds a deb-src entry for the machine's Debian archive when there is none
# (needs root then). Does nothing when the install is already there.
#
# Usage: mingw_libjpeg.sh [DIR]   (default build/windows-deps)
# The last line printed is the install prefix, DIR/libjpeg-install.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$top/build/windows-deps}")
prefix="$dir/libjpeg-install"

if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ]; then
  echo "$prefix"
  exit 0
fi

die() { echo "mingw_libjpeg: $*" >&2; exit 1; }
say() { echo "mingw_libjpeg: $*" >&2; }
is_root() { [ "$(id -u)" = 0 ]; }

# deb-src entries mirroring the Debian archive's deb entries: from the deb822
# debian.sources, or else from a one-line sources.list.
deb_src_entries() {
  local deb822=/etc/apt/sources.list.d/debian.sources
  if [ -f "$deb822" ]; then
    awk '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && types !~ /deb-src/ && tolower(enabled) != "no" && fields != "") {
          if (count++) printf "\n"
          printf "Types: deb-src\n%s", fields
        }
        types = ""; enabled = ""; fields = ""; keep = 0
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (keep) fields = fields $0 "\n"; next }  # a multi-line value
      {
        name = tolower($0); sub(/:.*/, "", name)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        keep = 0
        if (name == "types") types = value
        else if (name == "enabled") enabled = value
        else if (name != "architectures") { fields = fields $0 "\n"; keep = 1 }
      }
      END { flush() }' "$deb822"
  elif [ -f /etc/apt/sources.list ]; then
    awk '
      # Field number of the URI, past any [options]; signed-by is kept.
      function uri_field(   i, opt) {
        signed = ""
        if ($2 !~ /^\[/) return 2
        for (i = 2; i <= NF; i++) {
          opt = $i; gsub(/[][]/, "", opt)
          if (opt ~ /^signed-by=/) { signed = opt; sub(/^signed-by=/, "", signed) }
          if ($i ~ /\]$/) return i + 1
        }
        return NF + 1
      }
      $1 == "deb-src" { i = uri_field(); have[$i " " $(i + 1)] = 1 }
      $1 == "deb" {
        i = uri_field()
        comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
        n++; key[n] = $i " " $(i + 1)
        entry[n] = "Types: deb-src\nURIs: " $i "\nSuites: " $(i + 1) "\nComponents: " comps "\n"
        if (signed != "") entry[n] = entry[n] "Signed-By: " signed "\n"
      }
      END {
        for (k = 1; k <= n; k++)
          if (!(key[k] in have)) { if (count++) printf "\n"; printf "%s", entry[k] }
      }' /etc/apt/sources.list
  fi
}

have_source() { apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package: libjpeg-turbo$'; }

if ! have_source; then
  is_root || die "no deb-src entry gives libjpeg-turbo; run once as root to add one"
  list=/etc/apt/sources.list.d/tarvex-deb-src.sources
  entries=$(deb_src_entries)
  [ -n "$entries" ] || die "found no Debian deb entries to take the deb-src entry from"
  if [ ! -f "$list" ] || [ "$(cat "$list")" != "$entries" ]; then
    say "adding $list"
    printf '%s\n' "$entries" >"$list"
  fi
  # Also when the entry was there: the source lists may have been cleaned.
  apt-get update -qq >/dev/null
  have_source || die "libjpeg-turbo's source is still unknown after apt-get update"
fi

# Tool, then the Debian package that brings it; installed after the deb-src
# step, whose apt-get update a fresh machine needs first.
needs=(dpkg-source dpkg-dev cmake cmake make make
  x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix)
missing=()
for ((i = 0; i < ${#needs[@]}; i += 2)); do
  command -v "${needs[i]}" >/dev/null || missing+=("${needs[i + 1]}")
done
if [ ${#missing[@]} -gt 0 ]; then
  is_root || die "missing packages: ${missing[*]}"
  say "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work="$dir/libjpeg-turbo"
src="$work/source"
log="$work/build.log"
mkdir -p "$work"
: >"$log"
# Output goes to the log; on failure its end is shown.
quiet() {
  "$@" >>"$log" 2>&1 || { echo "mingw_libjpeg: failed: $*" >&2; tail -n 40 "$log" >&2; exit 1; }
}

if [ ! -f "$src/CMakeLists.txt" ]; then
  say "fetching Debian's libjpeg-turbo source"
  rm -rf "$work/fetch" "$src"
  mkdir -p "$work/fetch"
  # apt's download user must be able to write there, or apt warns.
  if is_root && id _apt >/dev/null 2>&1; then chown _apt "$work/fetch"; fi
  (cd "$work/fetch" && quiet apt-get source -q libjpeg-turbo)
  unpacked=("$work"/fetch/libjpeg-turbo-*/)
  if [ ${#unpacked[@]} != 1 ] || [ ! -f "${unpacked[0]}CMakeLists.txt" ]; then
    die "no unpacked source in $work/fetch"
  fi
  mv "${unpacked[0]}" "$src"
fi

say "building libjpeg for x86_64-w64-mingw32 (log: $log)"
rm -rf "$work/build" "$prefix"
# No SIMD: it would need nasm. The prefix is needed even unused: its
# default for Windows, c:/..., is no full path here and stops the configure.
quiet cmake -S "$src" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
  -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
# Only the library: its install rules would also want the tools and test
# programs built, so its files are put in place here.
quiet cmake --build "$work/build" -j "${JOBS:-$(nproc 2>/dev/null || echo 2)}" --target jpeg-static
install -d "$prefix/lib" "$prefix/include" "$prefix/share/doc/libjpeg-turbo"
install -m 644 "$work/build/libjpeg.a" "$prefix/lib/"
install -m 644 "$work/build/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$prefix/include/"
# The licence the Windows program must ship with, linking libjpeg in.
install -m 644 "$src/LICENSE.md" "$src/README.ijg" "$prefix/share/doc/libjpeg-turbo/"
echo "$prefix"
