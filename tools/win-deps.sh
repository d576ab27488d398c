#!/usr/bin/env bash
# Cross-built libraries for the Windows build. zlib comes from Debian's
# libz-mingw-w64-dev; the image libraries are built from Debian's source
# packages by the JPEG/PNG/TIFF work. Nothing to build yet.
set -euo pipefail
echo "win-deps: zlib from libz-mingw-w64-dev"
