#!/usr/bin/env bash
# Signs Windows executables in place with Authenticode (SHA-256) through osslsigncode.
#
#   QV_SIGN_PFX=cert.p12 [QV_SIGN_PASSWORD=...] [QV_SIGN_TIMESTAMP=URL] tools/sign.sh FILE...
#
# QV_SIGN_PFX names a PKCS#12 file with the code-signing certificate and its key, QV_SIGN_PASSWORD
# its password (none when unset). With QV_SIGN_TIMESTAMP, an RFC 3161 time-stamp server's address,
# the signature is time-stamped; when the server cannot be reached the file is signed without.
set -euo pipefail
if [ -z "${QV_SIGN_PFX:-}" ] || [ ! -f "$QV_SIGN_PFX" ]; then
  echo "sign: QV_SIGN_PFX must name a PKCS#12 file" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=(sign -pkcs12 "$QV_SIGN_PFX" -h sha256 -n Quadrivue)
if [ -n "${QV_SIGN_PASSWORD+set}" ]; then
  # Read from a file, so that the password is not on a command line.
  (umask 077 && printf '%s' "$QV_SIGN_PASSWORD" >"$work/pass")
  args+=(-readpass "$work/pass")
fi
for f in "$@"; do
  rm -f "$work/out"
  if [ -n "${QV_SIGN_TIMESTAMP:-}" ]; then
    if ! osslsigncode "${args[@]}" -ts "$QV_SIGN_TIMESTAMP" -in "$f" -out "$work/out" >"$work/log" 2>&1; then
      echo "sign: time-stamp server $QV_SIGN_TIMESTAMP not reached: $(basename "$f") signed without a time stamp" >&2
      rm -f "$work/out"
    fi
  fi
  if [ ! -f "$work/out" ] && ! osslsigncode "${args[@]}" -in "$f" -out "$work/out" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "sign: could not sign $f" >&2
    exit 1
  fi
  cat "$work/out" >"$f"
done
