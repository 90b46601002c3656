#!/usr/bin/env bash
# install.cmd and uninstall.cmd of the release folder under Wine's cmd, as a
# user runs them: machine-wide (this prefix may write the machine's classes),
# per-user on request, and a failing step. Each leaves the classes of both
# roots exactly as they were before the install (compared as exported by reg).
# A second copy in another folder, while the first is installed: its
# uninstall.cmd, Wexlo.exe /UnregServer, regsvr32 /u and a failing
# install.cmd leave the first copy's registration exactly as it was.
# The folders hold this machine's Wexlo.exe and the Velmora.dll of each kind
# this machine can run. One PASS or FAIL line per check.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

ARCH_DIR="$BUILD/$WEX_WIN_ARCH"
WORK="$WEX_SCRATCH_HOST/install"
STAGE="$WORK/wexlo"
OTHER="$WORK/other copy"
rm -rf "$WORK"
for folder in "$STAGE" "$OTHER"; do
  mkdir -p "$folder"
  cp "$ROOT/packaging/install.cmd" "$ROOT/packaging/uninstall.cmd" "$ARCH_DIR/bin/Wexlo.exe" "$folder/"
  if [ "$WEX_WIN_ARCH" = win32 ]; then
    mkdir -p "$folder/x86"; cp "$BUILD/win32/bin/Velmora.dll" "$folder/x86/"
  fi
  if [ -f "$BUILD/win64/bin/Velmora.dll" ]; then
    mkdir -p "$folder/x64"; cp "$BUILD/win64/bin/Velmora.dll" "$folder/x64/"
  fi
done
STAGE_WIN="$(winpath "$STAGE")"
OTHER_WIN="$(winpath "$OTHER")"
BIN="$ARCH_DIR/bin"
WEXLO_CLSID='{1C4A0703-3322-411B-B0BD-9C243419E8B4}'
OWN_VIEW=/reg:64; [ "$WEX_WIN_ARCH" = win32 ] && OWN_VIEW=/reg:32
# The Velmora.dll this prefix loads, which a failing step replaces.
OWN_KIND=x64; [ -d "$STAGE/x64" ] && [ "$WEX_WIN_ARCH" = win64 ] || OWN_KIND=x86
VELMORA_CLSID='{744A22E9-367A-4D88-88F7-23B0ABC821AA}'

check() {  # check <name> <command...>
  local name="$1"; shift
  if "$@"; then echo "PASS $name"; else echo "FAIL $name"; fi
}

# snapshot <file>: both classes roots as reg exports them (both views: the
# 32-bit one is a subtree of the export in a 64-bit prefix), as UTF-8.
snapshot() {
  local root part
  : >"$1"
  for root in 'HKLM\Software\Classes' 'HKCU\Software\Classes'; do
    part="$WORK/export.reg"
    rm -f "$part"
    "$WINE" reg export "$root" "$(winpath "$part")" /y >/dev/null 2>&1
    echo "== $root" >>"$1"
    [ -f "$part" ] && iconv -f UTF-16 -t UTF-8 "$part" | tr -d '\r' >>"$1"
  done
}

# run_cmd <log> <script> [args]: runs a script of the folder under cmd;
# run_other the same in the second copy's folder.
run_cmd() {
  local log="$1" script="$2"; shift 2
  (cd "$WORK" && "$WINE" cmd /c "$STAGE_WIN\\$script" "$@") >"$log" 2>&1
}
run_other() {
  local log="$1" script="$2"; shift 2
  (cd "$WORK" && "$WINE" cmd /c "$OTHER_WIN\\$script" "$@") >"$log" 2>&1
}

has_line() { tr -d '\r' <"$1" | grep -qxF "$2"; }
# The same where the line holds a path, which Wine may spell in another case.
has_line_i() { tr -d '\r' <"$1" | grep -qixF "$2"; }
same_as_before() { diff -u "$WORK/before.txt" "$1" >"$1.diff"; }
# same_as <snapshot> <log>: the registry now is as in the snapshot.
same_as() { snapshot "$2.now" && diff -u "$1" "$2.now" >"$2.diff"; }
# key_value <root key> <view switch> <value text>: reg query shows the text.
key_value() { "$WINE" reg query "$1" "$2" 2>/dev/null | tr -d '\r' | grep -qiF "$3"; }

# The suite registered the build folder's binaries. The script host
# registers its own type library the first time it runs, so it runs once
# before the registry is taken down; the installs then start clean.
(cd "$WORK" && "$WINE" cscript //nologo "$(winpath "$ROOT/tests/wine/install/both_objects.js")") >"$WORK/warm-up.log" 2>&1
"$WINE" "$BIN/Wexlo.exe" /UnregServer
"$WINE" regsvr32 /s /u "$BIN/Velmora.dll"
snapshot "$WORK/before.txt"

# Machine-wide: chosen because this prompt may write the machine's classes.
run_cmd "$WORK/install.log" install.cmd
check install_exit_0 test $? -eq 0
check install_says_wexlo has_line "$WORK/install.log" "Wexlo.exe: registered for all users."
check install_says_done has_line "$WORK/install.log" "Installed for all users."
check install_wexlo_key key_value "HKLM\\Software\\Classes\\CLSID\\$WEXLO_CLSID\\LocalServer32" $OWN_VIEW "$STAGE_WIN\\Wexlo.exe"
for kind in x86 x64; do
  [ -d "$STAGE/$kind" ] || continue
  view=/reg:32; [ $kind = x64 ] && view=/reg:64
  if [ $kind = x64 ] && [ "$WEX_WIN_ARCH" = win32 ]; then
    check install_skips_x64_on_32_bit_windows has_line "$WORK/install.log" "x64\\Velmora.dll: skipped, this Windows cannot load it."
    continue
  fi
  check "install_says_$kind" has_line "$WORK/install.log" "$kind\\Velmora.dll: registered for all users."
  check "install_${kind}_key" key_value "HKLM\\Software\\Classes\\CLSID\\$VELMORA_CLSID\\InprocServer32" $view "$STAGE_WIN\\$kind\\Velmora.dll"
done
(cd "$WORK" && "$WINE" cscript //nologo "$(winpath "$ROOT/tests/wine/install/both_objects.js")") >"$WORK/use.log" 2>&1
check installed_objects_work test $? -eq 0

# The second copy touches nothing of the first's registration: neither its
# components' own removal nor its scripts, even when its install fails.
snapshot "$WORK/installed.txt"
"$WINE" "$OTHER/Wexlo.exe" /UnregServer >"$WORK/other-unregserver.log" 2>&1
check other_unregserver_exit_0 test $? -eq 0
check other_unregserver_says_whose has_line_i "$WORK/other-unregserver.log" \
  "Wexlo.Downloader is registered for all users to $STAGE_WIN\\Wexlo.exe, not to this program: left as it is."
check other_unregserver_leaves_first_copy same_as "$WORK/installed.txt" "$WORK/other-unregserver.log"
"$WINE" regsvr32 /s /u "$OTHER_WIN\\$OWN_KIND\\Velmora.dll"
check other_dll_unregister_succeeds test $? -eq 0
check other_dll_unregister_leaves_first_copy same_as "$WORK/installed.txt" "$WORK/other-regsvr32.log"
run_other "$WORK/other-uninstall.log" uninstall.cmd
check other_uninstall_exit_0 test $? -eq 0
check other_uninstall_leaves_first_copy same_as "$WORK/installed.txt" "$WORK/other-uninstall.log"
echo "not a library" >"$OTHER/$OWN_KIND/Velmora.dll"
run_other "$WORK/other-install-broken.log" install.cmd
check other_failed_install_exit_nonzero test $? -ne 0
check other_failed_install_says_restored has_line "$WORK/other-install-broken.log" \
  "Nothing was installed; what was registered before is back as it was."
check other_failed_install_leaves_first_copy same_as "$WORK/installed.txt" "$WORK/other-install-broken.log"

run_cmd "$WORK/uninstall.log" uninstall.cmd
check uninstall_exit_0 test $? -eq 0
check uninstall_says_done has_line "$WORK/uninstall.log" "Uninstalled."
snapshot "$WORK/after-machine.txt"
check machine_install_leaves_registry_as_it_was same_as_before "$WORK/after-machine.txt"

# Per-user, on request: nothing machine-wide is written.
run_cmd "$WORK/install-user.log" install.cmd /user
check install_user_exit_0 test $? -eq 0
check install_user_says_wexlo has_line "$WORK/install-user.log" "Wexlo.exe: registered for the current user."
check install_user_wexlo_key key_value "HKCU\\Software\\Classes\\CLSID\\$WEXLO_CLSID\\LocalServer32" $OWN_VIEW "$STAGE_WIN\\Wexlo.exe"
check install_user_not_machine_wide bash -c "! '$WINE' reg query 'HKLM\\Software\\Classes\\CLSID\\$WEXLO_CLSID' >/dev/null 2>&1"
run_cmd "$WORK/uninstall-user.log" uninstall.cmd /user
check uninstall_user_exit_0 test $? -eq 0
snapshot "$WORK/after-user.txt"
check user_install_leaves_registry_as_it_was same_as_before "$WORK/after-user.txt"

# A library that is no library: its step fails, the script says so, undoes
# the steps before it and exits non-zero.
cp "$STAGE/$OWN_KIND/Velmora.dll" "$WORK/Velmora.dll.good"
echo "not a library" >"$STAGE/$OWN_KIND/Velmora.dll"
run_cmd "$WORK/install-broken.log" install.cmd
check install_failure_exit_nonzero test $? -ne 0
check install_failure_says_which has_line "$WORK/install-broken.log" "$OWN_KIND\\Velmora.dll: registration failed."
check install_failure_says_nothing_installed has_line "$WORK/install-broken.log" "Nothing was installed."
cp "$WORK/Velmora.dll.good" "$STAGE/$OWN_KIND/Velmora.dll"
snapshot "$WORK/after-broken.txt"
check failed_install_leaves_registry_as_it_was same_as_before "$WORK/after-broken.txt"

# The suite goes on with the build folder's binaries registered.
"$WINE" "$BIN/Wexlo.exe" /RegServer
"$WINE" regsvr32 /s "$BIN/Velmora.dll"

