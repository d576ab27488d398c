#!/usr/bin/env bash
# Cross-builds the image libraries of the Windows build: libjpeg-turbo, libpng
# and libtiff from Debian's source packages, static, with the MinGW-w64
# toolchain, into a cache folder outside the repository. zlib comes from
# Debian's libz-mingw-w64-dev. Does nothing when the cache is complete.
#
# Usage: tools/win-deps.sh            (cache: $QV_WIN_DEPS_DIR or
#                                      $HOME/.cache/quadrivue/win-deps)
#        tools/win-deps.sh --force    (rebuild even when the cache is complete)
set -euo pipefail

dest=$(realpath -m "${QV_WIN_DEPS_DIR:-$HOME/.cache/quadrivue/win-deps}")
stamp="$dest/win-deps.stamp"
# Bump when the build recipe below changes, so existing caches are rebuilt.
recipe=1
src_pkgs=(libjpeg-turbo libpng1.6 tiff)
outputs=(lib/libjpeg.a lib/libpng16.a lib/libtiff.a
  include/jpeglib.h include/png.h include/tiffio.h)

mingw_root=/usr/x86_64-w64-mingw32
zlib_lib="$mingw_root/lib/libz.a"

cache_complete() {
  [ -f "$stamp" ] || return 1
  grep -qx "recipe=$recipe" "$stamp" || return 1
  local f
  for f in "${outputs[@]}"; do
    [ -f "$dest/$f" ] || return 1
  done
}

if [ "${1:-}" != "--force" ] && cache_complete; then
  echo "win-deps: cache complete in $dest ($(grep -v '^recipe=' "$stamp" | paste -sd' '))"
  exit 0
fi

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

need_tools() {
  local t missing=()
  for t in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix cmake nasm dpkg-source; do
    command -v "$t" >/dev/null || missing+=("$t")
  done
  [ -f "$zlib_lib" ] || missing+=("$zlib_lib")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "win-deps: missing ${missing[*]} (run tools/setup.sh windows)" >&2
    exit 1
  fi
}

# Writes a deb-src entry for the machine's own Debian suites (those named after
# the release codename) when apt knows no source packages yet.
ensure_deb_src() {
  if apt-cache showsrc "${src_pkgs[0]}" 2>/dev/null | grep -q '^Version:'; then
    return
  fi
  local codename entries
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "win-deps: unknown release codename" >&2; exit 1; }
  entries=$(debian_src_entries "$codename")
  [ -n "$entries" ] || { echo "win-deps: no apt source for $codename found" >&2; exit 1; }
  echo "win-deps: adding deb-src entries for $codename"
  printf '%s\n' "$entries" | "${as_root[@]}" tee /etc/apt/sources.list.d/quadrivue-deb-src.sources >/dev/null
  "${as_root[@]}" apt-get update -qq
}

# Prints deb822 deb-src stanzas mirroring the enabled "deb" entries whose
# suites are the release's own (codename, codename-updates, codename-security),
# from both the deb822 files and the one-line lists.
debian_src_entries() {
  local codename=$1 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$(basename "$f")" = quadrivue-deb-src.sources ] && continue
    awk -v cn="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "" && enabled != "no") {
          n = split(suites, s, " "); keep = ""
          for (i = 1; i <= n; i++) if (s[i] == cn || index(s[i], cn "-") == 1) keep = keep " " s[i]
          if (keep != "") {
            print "Types: deb-src"; print "URIs: " uris; print "Suites:" keep
            print "Components: " comps
            if (signed != "") print "Signed-By: " signed
            print ""
          }
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        key = tolower($1); sub(/:$/, "", key); val = $0; sub(/^[^:]*:[ \t]*/, "", val)
        if (key == "types") types = val; else if (key == "uris") uris = val
        else if (key == "suites") suites = val; else if (key == "components") comps = val
        else if (key == "signed-by") signed = val; else if (key == "enabled") enabled = tolower(val)
      }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v cn="$codename" '
      $1 == "deb" {
        opts = ""; i = 2
        if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps (comps == "" ? "" : " ") $j
        if (suite != cn && index(suite, cn "-") != 1) next
        signed = ""
        if (match(opts, /signed-by=[^ \]]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
        print "Types: deb-src"; print "URIs: " uri; print "Suites: " suite; print "Components: " comps
        if (signed != "") print "Signed-By: " signed
        print ""
      }' "$f"
  done
}

# Fetches and unpacks a source package with Debian's patches applied; when a
# mirror lacks the newest version's files, falls back to the next older one.
fetch_source() {
  local pkg=$1 v versions
  versions=$(apt-cache showsrc "$pkg" | awk '/^Version:/ { print $2 }' | sort -u | sort_versions_desc)
  for v in $versions; do
    if apt-get source -qq -o APT::Sandbox::User=root "$pkg=$v" >/dev/null 2>&1; then
      echo "$v"
      return
    fi
    echo "win-deps: $pkg $v not downloadable, trying an older one" >&2
  done
  echo "win-deps: cannot fetch the source package $pkg" >&2
  exit 1
}

sort_versions_desc() {
  local list=() v i j
  while read -r v; do list+=("$v"); done
  for ((i = 0; i < ${#list[@]}; i++)); do
    for ((j = i + 1; j < ${#list[@]}; j++)); do
      if dpkg --compare-versions "${list[j]}" gt "${list[i]}"; then
        v=${list[i]}; list[i]=${list[j]}; list[j]=$v
      fi
    done
  done
  printf '%s\n' "${list[@]}"
}

source_dir() { # the folder apt-get source unpacked a package into
  find "$work" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n1
}

cmake_build() { # cmake_build <name> <source dir> [cmake options...]
  local name=$1 src=$2
  shift 2
  echo "win-deps: building $name"
  cmake -S "$src" -B "$work/build-$name" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$dest" \
    "$@" >"$work/$name-configure.log" 2>&1 || { tail -n 30 "$work/$name-configure.log" >&2; exit 1; }
  cmake --build "$work/build-$name" -j"$(nproc)" >"$work/$name-build.log" 2>&1 ||
    { tail -n 30 "$work/$name-build.log" >&2; exit 1; }
  cmake --install "$work/build-$name" >/dev/null
}

need_tools
ensure_deb_src

work=$(mktemp -d "${TMPDIR:-/tmp}/quadrivue-win-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cd "$work"

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH $mingw_root $dest)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

declare -A version
for p in "${src_pkgs[@]}"; do
  version[$p]=$(fetch_source "$p")
done

rm -rf "$dest"
mkdir -p "$dest"
zlib_opts=(-DZLIB_LIBRARY="$zlib_lib" -DZLIB_INCLUDE_DIR="$mingw_root/include")

cmake_build libjpeg-turbo "$(source_dir libjpeg-turbo)" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON

cmake_build libpng "$(source_dir libpng1.6)" "${zlib_opts[@]}" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF

cmake_build libtiff "$(source_dir tiff)" "${zlib_opts[@]}" \
  -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
  -Dcxx=OFF -Dwebp=OFF -Dzstd=OFF -Dlzma=OFF -Djbig=OFF -Dlerc=OFF -Dlibdeflate=OFF \
  -Djpeg=ON -Dzlib=ON -Djpeg12=OFF -Dsphinx=OFF \
  -DJPEG_LIBRARY="$dest/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$dest/include"

{
  echo "recipe=$recipe"
  for p in "${src_pkgs[@]}"; do echo "$p=${version[$p]}"; done
} >"$stamp"
cache_complete || { echo "win-deps: build finished but outputs are missing in $dest" >&2; exit 1; }
echo "win-deps: built into $dest ($(grep -v '^recipe=' "$stamp" | paste -sd' '))"
