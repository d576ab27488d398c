#!/usr/bin/env bash
# Installs what the build and tests need on Debian 12, only what is missing.
# Usage: tools/setup.sh [native|windows|all]   (default: all)
set -euo pipefail
what="${1:-all}"

native_pkgs=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  clang libclang-rt-14-dev imagemagick netpbm time)
windows_pkgs=(mingw-w64 libz-mingw-w64-dev wine wine64 xvfb dpkg-dev nasm
  xdotool x11-apps python3 python3-yaml python3-markdown nsis osslsigncode openssl)

want=()
case "$what" in
  native) want=("${native_pkgs[@]}") ;;
  windows) want=("${windows_pkgs[@]}") ;;
  all) want=("${native_pkgs[@]}" "${windows_pkgs[@]}") ;;
  *) echo "usage: $0 [native|windows|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
echo "setup: packages ready ($what)"
