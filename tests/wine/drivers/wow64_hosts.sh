#!/usr/bin/env bash
# The 32-bit deliverables on 64-bit Windows, as most users have it today: a
# 64-bit prefix (WINEARCH=win64) where the 32-bit Wexlo.exe and both kinds of
# Velmora.dll are registered the way install.cmd does it, then used from the
# 64-bit script host (System32\cscript.exe, what a double-clicked script
# runs), from the 32-bit one (SysWOW64\cscript.exe) and from a 64-bit C++
# client with events; unregistering leaves neither view with a key.
#
# The registry is read the way each kind of program reads it: with the
# 32-bit reg.exe (SysWOW64) for what 32-bit programs see, with the 64-bit one
# (System32) for what 64-bit programs see. The classes root keeps CLSID and
# Interface apart per view and shares ProgIDs (and on Windows the type
# library); Wine 8 shares a key only for 32-bit programs, which find it in
# the 64-bit classes when the 32-bit ones lack it, so a 64-bit reg.exe asked
# for the 32-bit view (/reg:32) does not show a shared key at all.
#
# Only where the kernel runs 32-bit code: elsewhere the suite already runs
# the 64-bit build in a 64-bit prefix, and nothing 32-bit can start, so this
# driver reports nothing. One PASS or FAIL line per check.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

if [ "$WEX_WIN_ARCH" != win32 ] || [ ! -f "$BUILD/win64/bin/Velmora.dll" ]; then
  echo "this machine runs no 32-bit code, or the 64-bit build is missing: nothing to check"
  exit 0
fi

WORK="$WEX_SCRATCH_HOST/wow64"
rm -rf "$WORK"; mkdir -p "$WORK"
# A prefix of its own, stopped at the end whatever happens.
export WINEARCH=win64 WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
trap 'wine_stop' EXIT
wine_prefix "$BUILD/win32/wineprefix64" fresh || { echo "FAIL wow64_prefix"; exit 1; }

X86="$BUILD/win32/bin"
X64="$BUILD/win64/bin"
SYS64='C:\windows\system32'
SYS32='C:\windows\syswow64'
# The secure cases of the client below need the test CA trusted here as in
# the suite's prefix. The Root store's key is one for both views, so the
# 64-bit tool serves the 32-bit server too; the HTTPS fixtures are the
# suite's (127.0.0.1, WEX_HTTPS_*_PORT), whatever the prefix.
wine_trust_test_ca "$BUILD/win64" "${WEX_TLS_DIR:-$BUILD/tls}/ca.pem" >"$WORK/trust-ca.log" 2>&1
TRUSTED=$?
WEXLO_CLSID='{1C4A0703-3322-411B-B0BD-9C243419E8B4}'
DOWNLOADER_IID='{089B92EB-6C25-41FF-B059-1F5E17D8FF02}'
EVENTS_IID='{01B34C61-6D15-4267-B651-E1D95C5DEF57}'
LIBID='{93DAEA03-F1E6-4995-A27B-BE7C45BA9B1F}'
VELMORA_CLSID='{744A22E9-367A-4D88-88F7-23B0ABC821AA}'

check() {  # check <name> <command...>
  local name="$1"; shift
  if "$@"; then echo "PASS $name"; else echo "FAIL $name"; fi
}
check wow64_trusts_test_ca test $TRUSTED -eq 0
# key_in <bits> <key>: programs of that kind see the key; value_in <bits>
# <key> <text>: and the text in it.
key_in() { "$WINE" "$(reg_of "$1")" query "$2" >/dev/null 2>&1; }
no_key_in() { ! key_in "$@"; }
value_in() { "$WINE" "$(reg_of "$1")" query "$2" 2>/dev/null | tr -d '\r' | grep -qiF "$3"; }
reg_of() { if [ "$1" = 32 ]; then echo "$SYS32\\reg.exe"; else echo "$SYS64\\reg.exe"; fi; }
# host_runs <log> <cscript folder> <script>: a suite script under one host, exit 0.
host_runs() {
  local copy; copy="$(wine_script "$3" "$WORK/scripts")" || return 1
  (cd "$WORK" && "$WINE" "$2\\cscript.exe" //nologo "$(winpath "$copy")") >"$1" 2>&1
}

# Registration as install.cmd does it from an administrator prompt.
"$WINE" "$X86/Wexlo.exe" /RegServer
check wexlo_registers_under_wow64 test $? -eq 0
"$WINE" "$SYS32\\regsvr32.exe" /s "$(winpath "$X86/Velmora.dll")"
check velmora_x86_registers test $? -eq 0
"$WINE" "$SYS64\\regsvr32.exe" /s "$(winpath "$X64/Velmora.dll")"
check velmora_x64_registers test $? -eq 0
"$WINESERVER" -w

for name in 32 64; do
  check "wexlo_class_in_${name}_bit_view" value_in $name "HKLM\\Software\\Classes\\CLSID\\$WEXLO_CLSID\\LocalServer32" "Wexlo.exe"
  check "wexlo_interface_in_${name}_bit_view" value_in $name "HKLM\\Software\\Classes\\Interface\\$DOWNLOADER_IID\\ProxyStubClsid32" "{00020424-0000-0000-C000-000000000046}"
  check "wexlo_events_in_${name}_bit_view" value_in $name "HKLM\\Software\\Classes\\Interface\\$EVENTS_IID\\ProxyStubClsid32" "{00020420-0000-0000-C000-000000000046}"
  check "wexlo_typelib_in_${name}_bit_view" value_in $name "HKLM\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\win32" "Wexlo.exe"
  check "wexlo_progid_in_${name}_bit_view" key_in $name "HKLM\\Software\\Classes\\Wexlo.Downloader\\CLSID"
done
check velmora_x86_in_32_bit_view value_in 32 "HKLM\\Software\\Classes\\CLSID\\$VELMORA_CLSID\\InprocServer32" "win32\\bin\\Velmora.dll"
check velmora_x64_in_64_bit_view value_in 64 "HKLM\\Software\\Classes\\CLSID\\$VELMORA_CLSID\\InprocServer32" "win64\\bin\\Velmora.dll"

# Each host with each deliverable it can load.
for host in "$SYS64" "$SYS32"; do
  name=host64; [ "$host" = "$SYS32" ] && name=host32
  for script in wexlo_download.js wexlo_download.vbs dialogs_browser.js; do
    host_runs "$WORK/$name-$script.log" "$host" "$ROOT/tests/wine/scripts/$script"
    check "${name}_${script}" test $? -eq 0
  done
done

# A 64-bit C++ client with events, through the 32-bit server.
(cd "$WORK" && WEX_BIN_DIR="$(winpath "$X86")" "$WINE" "$BUILD/win64/wtests/wexlo_client_wtest.exe") >"$WORK/client64.log" 2>&1
check client64_with_events_through_32_bit_server test $? -eq 0

# The three dialogs from the 64-bit host, answered as the suite's dialog
# driver answers them (its lines, named for this host).
WEX_SCRATCH_HOST="$WORK/host64" bash "$ROOT/tests/wine/drivers/dialogs_boxes.sh" 2>&1 |
  sed -n 's/^\(PASS\|FAIL\) /\1 host64_dialogs_/p'

# Unregistering removes the keys from both views.
"$WINE" "$X86/Wexlo.exe" /UnregServer
check wexlo_unregisters_under_wow64 test $? -eq 0
"$WINE" "$SYS32\\regsvr32.exe" /s /u "$(winpath "$X86/Velmora.dll")"
"$WINE" "$SYS64\\regsvr32.exe" /s /u "$(winpath "$X64/Velmora.dll")"
for name in 32 64; do
  for key in "CLSID\\$WEXLO_CLSID" "Interface\\$DOWNLOADER_IID" "Interface\\$EVENTS_IID" "TypeLib\\$LIBID" \
             Wexlo.Downloader Wexlo.Downloader.1 "CLSID\\$VELMORA_CLSID" Velmora.Browser; do
    check "unregistered_${name}_bit_view_${key//[^A-Za-z0-9.]/_}" no_key_in $name "HKLM\\Software\\Classes\\$key"
  done
done
