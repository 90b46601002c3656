#!/usr/bin/env bash
# Wexlo.Downloader at edges a script alone cannot set up: a save into a
# folder that refuses new files (the target itself writable), and argument
# conversions in the user's locale (the server inherits it from its client).
# One PASS or FAIL line per case; a case this machine cannot set up says SKIP.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

WORK="$WEX_SCRATCH_HOST/edges"
SAVE_SCRIPT="$(winpath "$ROOT/tests/wine/edges/save_into.js")"
PORT_SCRIPT="$(winpath "$ROOT/tests/wine/edges/port_locale.js")"
WAIT=60
rm -rf "$WORK"
mkdir -p "$WORK"

# script <file> <args...>: runs it under cscript, in the locale LOCALE when set.
script() {
  (cd "$WORK" && env ${LOCALE:+LC_ALL=$LOCALE} timeout "$WAIT" "$WINE" cscript //nologo "$@") \
    2>>"$WORK/cscript.err" | tr -d '\r'
}

# expect <name> <got> <wanted>
expect() {
  if [ "$2" = "$3" ]; then echo "PASS $1"; else echo "FAIL $1: got [$2], expected [$3]"; fi
}

# --- A folder that takes no new files --------------------------------------
# Root may create files anywhere the permission bits say no, so the folder is
# made immutable where the file system allows (its files stay writable);
# elsewhere its write permission is taken away. Either way it is given back.
REFUSING="$WORK/refusing"
mkdir -p "$REFUSING"
printf 'old' >"$REFUSING/target.bin"
locked=""
release() {
  [ "$locked" = chattr ] && chattr -i "$REFUSING" 2>/dev/null
  [ "$locked" = chmod ] && chmod 755 "$REFUSING"
  locked=""
}
trap release EXIT
if chattr +i "$REFUSING" 2>/dev/null; then locked=chattr; else chmod 555 "$REFUSING" && locked=chmod; fi
if touch "$REFUSING/probe" 2>/dev/null; then
  rm -f "$REFUSING/probe"
  release
  echo "SKIP save_into_folder_refusing_new_files: no way to make a folder refuse new files here"
else
  got="$(script "$SAVE_SCRIPT" "$WEX_HTTP_PORT" "$(winpath "$REFUSING/target.bin")")"
  expect save_into_folder_refusing_new_files "$got" "saved:0:70000"
  release
  expect refusing_folder_holds_only_its_file "$(ls -A "$REFUSING" | tr '\n' ' ')" "target.bin "
fi

# --- Conversions in the user's locale ----------------------------------------
# "<port>,4" is the port in German (a decimal comma, rounded down) and
# "<port>.4" in English; each reaches the local server only where it is read
# the user's way.
got="$(LOCALE=de_DE.UTF-8 script "$PORT_SCRIPT" "$WEX_HTTP_PORT" "$WEX_HTTP_PORT,4")"
expect port_read_with_a_german_decimal_comma "$got" "request:0"
got="$(LOCALE=en_US.UTF-8 script "$PORT_SCRIPT" "$WEX_HTTP_PORT" "$WEX_HTTP_PORT.4")"
expect port_read_with_an_english_decimal_point "$got" "request:0"
