#!/usr/bin/env bash
# sign.sh <file>...: signs each Windows binary or installer package in place
# with osslsigncode (Authenticode, SHA-256), with the code-signing
# certificate and key of WEX_SIGN_PFX (PKCS#12), whose password is the first
# line of WEX_SIGN_PASSWORD_FILE (no file: no password). A time stamp is
# added only when WEX_SIGN_TIMESTAMP_URL names a time-stamp server.
set -euo pipefail
: "${WEX_SIGN_PFX:?the code-signing certificate (PKCS#12) to sign with}"
options=(-pkcs12 "$WEX_SIGN_PFX" -h sha256 -n "Wexlo and Velmora" -i "https://www.quarnet.example/")
[ -n "${WEX_SIGN_PASSWORD_FILE:-}" ] && options+=(-readpass "$WEX_SIGN_PASSWORD_FILE")
[ -n "${WEX_SIGN_TIMESTAMP_URL:-}" ] && options+=(-ts "$WEX_SIGN_TIMESTAMP_URL")
for file in "$@"; do
  osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
done
