#!/usr/bin/env bash
# The installer packages under Wine's msiexec /qn, each in a fresh prefix of
# its own: install; both objects created from the script hosts and a
# download; repair (msiexec /fa) puts back a deleted Wexlo.exe; a package of a
# lower version is refused; uninstall leaves the
# classes keys and the folders as they were; a lower version is upgraded in
# place; a per-user install writes the user's classes keys only.
#
# Where the kernel runs 32-bit code: the x86 package of the release in a
# 32-bit prefix, and the x64 package in a 64-bit prefix under both hosts
# (System32 and SysWOW64 cscript). Elsewhere nothing 32-bit can start, so the
# x64 package is built from the 64-bit server (the suite's build) and checked
# under the 64-bit host only. One PASS or FAIL line per check.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

WORK="$WEX_SCRATCH_HOST/msi"
rm -rf "$WORK"; mkdir -p "$WORK"
VERSION="$(wex_version)"
LOWER="0.9.0"  # any version below every release
GENERATOR="$BUILD/native/packaging/msi/wex_msi_registry"
CLSID='{1C4A0703-3322-411B-B0BD-9C243419E8B4}'
trap 'wine_stop' EXIT

check() {  # check <name> <command...>
  local name="$1"; shift
  if "$@" >>"$WORK/checks.log" 2>&1; then echo "PASS $name"; else echo "FAIL $name"; fi
}
for needed in "$BUILD/win32/bin/Velmora.dll" "$BUILD/win64/bin/Velmora.dll" "$GENERATOR"; do
  [ -e "$needed" ] || { echo "FAIL msi_builds: $needed is missing"; exit 1; }
done

# stage <folder> <server build>: the release's layout, with the server of
# that build (win32 for the release).
stage() {
  mkdir -p "$1/x86" "$1/x64"
  cp "$BUILD/$2/bin/Wexlo.exe" "$BUILD/$2/server/wexlo.tlb" "$1/"
  cp "$BUILD/win32/bin/Velmora.dll" "$BUILD/win32/dialogs/velmora.tlb" "$1/x86/"
  cp "$BUILD/win64/bin/Velmora.dll" "$BUILD/win64/dialogs/velmora.tlb" "$1/x64/"
  cp "$ROOT/README.md" "$ROOT/LICENSE" "$ROOT/docs/guide.md" "$1/"
}

# What must come back after the uninstall: the classes keys of both roots
# (both views: a 64-bit prefix keeps the 32-bit view under Wow6432Node) and
# the program folders, one line per key and per value (with its key). The
# installer's own bookkeeping (the Installer keys, emptied again on
# uninstall) is Wine's, not the package's.
snapshot() {  # snapshot <file>
  local root
  for root in 'HKLM\Software\Classes' 'HKCU\Software\Classes'; do
    "$WINE" reg export "$root" "$(winpath "$1.reg")" /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$1.reg" | tr -d '\r' |
      awk '/^\[/ { key = $0; print key; next } NF { print key "\t" $0 }' |
      grep -v '\\Classes\\Installer[]\\]'
  done >"$1"
  (cd "$WINEPREFIX/drive_c" && find Program\ Files*) >>"$1"
  sort -o "$1" "$1"
}
# unchanged <before> <after>: nothing added, and nothing removed except an
# empty CLSID, Interface or TypeLib key that the package's keys went into:
# Wine's installer removes a parent key it finds empty on uninstall, and in a
# fresh prefix the 32-bit view's are empty (on Windows they never are).
unchanged() {
  local added removed
  added="$(comm -13 "$1" "$2")"
  removed="$(comm -23 "$1" "$2" | grep -v '^\[.*\\Classes\(\\Wow6432Node\)\?\\\(CLSID\|Interface\|TypeLib\)\]$')"
  [ -z "$added$removed" ] || { printf 'added:\n%s\nremoved:\n%s\n' "$added" "$removed"; return 1; }
}
msi() { (cd "$WORK" && "$WINE" msiexec /qn "$@"); }
# products <file>: the installed products, as Programs and Features lists them.
products() {
  "$WINE" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    "$(winpath "$1.reg")" /y >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$1.reg" | tr -d '\r' >"$1"
}
key_value() { "$WINE" reg query "$1" 2>/dev/null | tr -d '\r' | grep -qiF "$2"; }

# run_package <name> <platform> <server build> <prefix arch> <host folder>...
run_package() {
  local name="$1" platform="$2" server="$3" arch="$4"; shift 4
  local stage_dir="$WORK/$name/stage" current="$WORK/$name/current.msi" lower="$WORK/$name/lower.msi"
  stage "$stage_dir" "$server"
  if ! "$ROOT/packaging/msi/build_msi.sh" "$platform" "$VERSION" "$stage_dir" "$current" "$GENERATOR" ||
     ! "$ROOT/packaging/msi/build_msi.sh" "$platform" "$LOWER" "$stage_dir" "$lower" "$GENERATOR"; then
    echo "FAIL ${name}_builds"; return
  fi >>"$WORK/checks.log" 2>&1
  if [ "$arch" = win64 ]; then
    export WINEARCH=win64 WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
  fi
  wine_prefix "$WORK/$name/prefix" fresh || { echo "FAIL ${name}_prefix"; return; }
  # The hosts register their own libraries on first use: once before the
  # first snapshot, so that only the package's keys can differ.
  local host
  : >"$WORK/empty.js"
  for host in "$@"; do
    (cd "$WORK" && "$WINE" "$host\\cscript.exe" //nologo "$(winpath "$WORK/empty.js")") >/dev/null 2>&1
  done
  "$WINESERVER" -w
  snapshot "$WORK/$name/before"

  check "${name}_installs" msi /i "$(winpath "$current")" /l*v "$(winpath "$WORK/$name/install.log")"
  "$WINESERVER" -w
  local folder="$WINEPREFIX/drive_c/Program Files/Wexlo"
  for host in "$@"; do
    local kind=host64; [[ "$host" == *syswow64 ]] && kind=host32
    [ "$arch" = win32 ] && kind=host
    for script in wexlo_download.js dialogs_browser.js; do
      check "${name}_${kind}_${script}" \
        bash -c 'cd "$1" && "$WINE" "$2\\cscript.exe" //nologo "$3"' _ "$WORK" "$host" \
        "$(winpath "$(wine_script "$ROOT/tests/wine/scripts/$script" "$WORK/scripts")")"
    done
  done

  # Repair: Windows' form first. Wine 8's msiexec refuses /f (exit 69 with
  # the package, 1 with the product code), so the same request is then made
  # through the properties that /fa sets.
  rm -f "$folder/Wexlo.exe"
  msi /fa "$(winpath "$current")"
  [ -e "$folder/Wexlo.exe" ] || msi /i "$(winpath "$current")" REINSTALL=ALL REINSTALLMODE=a
  check "${name}_repair_puts_back_wexlo_exe" cmp "$folder/Wexlo.exe" "$stage_dir/Wexlo.exe"
  msi /i "$(winpath "$lower")" /l*v "$(winpath "$WORK/$name/downgrade.log")"
  check "${name}_refuses_a_downgrade" test $? -ne 0
  # (Wine logs no launch condition's text under /qn; release_files.sh checks
  # the package's message.)

  check "${name}_uninstalls" msi /x "$(winpath "$current")"
  "$WINESERVER" -w
  snapshot "$WORK/$name/after"
  check "${name}_leaves_everything_as_before" unchanged "$WORK/$name/before" "$WORK/$name/after"

  # A lower version, then this one: replaced in place, one product left.
  msi /i "$(winpath "$lower")"
  check "${name}_upgrade_installs" msi /i "$(winpath "$current")"
  products "$WORK/$name/products"
  check "${name}_upgrade_leaves_one_product" test "$(grep -c '"DisplayName"="Wexlo and Velmora"' \
    "$WORK/$name/products")" -eq 1
  check "${name}_upgrade_is_this_version" grep -q "\"DisplayVersion\"=\"$VERSION\"" "$WORK/$name/products"
  msi /x "$(winpath "$current")"

  # Per user: the keys go to the user's classes and nowhere else.
  check "${name}_per_user_installs" msi /i "$(winpath "$current")" ALLUSERS=""
  check "${name}_per_user_keys_in_hkcu" key_value \
    "HKCU\\Software\\Classes\\CLSID\\$CLSID\\LocalServer32" 'Wexlo.exe'
  check "${name}_per_user_nothing_in_hklm" bash -c '! "$WINE" reg query "$1" >/dev/null 2>&1' _ \
    "HKLM\\Software\\Classes\\CLSID\\$CLSID"
  msi /x "$(winpath "$current")" ALLUSERS=""
  check "${name}_per_user_values_removed" bash -c '! "$WINE" reg query "$1" /ve 2>/dev/null | grep -qi wexlo' _ \
    "HKCU\\Software\\Classes\\CLSID\\$CLSID\\LocalServer32"
  wine_stop
}

if [ "$WEX_WIN_ARCH" = win32 ]; then
  run_package x86 x86 win32 win32 'C:\windows\system32'
  run_package x64 x64 win32 win64 'C:\windows\system32' 'C:\windows\syswow64'
else
  run_package x64_server64 x64 win64 win64 'C:\windows\system32'
fi
