#!/usr/bin/env bash
# build_msi.sh <x64|x86> <version> <stage folder> <output .msi> <generator>
#
# Builds one installer package from a folder laid out as the release zip
# (Wexlo.exe, wexlo.tlb, README.md, guide.md, LICENSE, x86/, x64/), with
# wixl. The registry entries come from the registration plan through the
# generator (wex_msi_registry, a native tool); what wixl cannot write is put
# into the package's tables afterwards with msibuild:
#   - the root of every entry is -1 (the machine's classes for a
#     per-machine install, the user's for a per-user one): wixl 0.101 writes
#     4 for "HKMU", which is no root at all;
#   - keys without a value (created on install, removed on uninstall).
set -euo pipefail
platform="$1" version="$2" stage="$3" out="$4" generator="$5"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The server's own kind decides its type library key (win32 or win64).
server64=0
if x86_64-w64-mingw32-objdump -f "$stage/Wexlo.exe" 2>/dev/null | grep -q 'pei-x86-64'; then
  server64=1
fi

# entries <downloader|browser> <view> <file id> <file name> <64-bit file> <folder> <component> <form>
entries() { "$generator" "$@"; }
wxi() {  # wxi <name> <generator arguments...>: one include file of registry values
  local name="$1"; shift
  { echo '<Include>'; entries "$@"; echo '</Include>'; } >"$work/$name.wxi"
}
wxi server_32 downloader 32 WexloExe Wexlo.exe "$server64" INSTALLDIR Server wxs
wxi browser_32 browser 32 VelmoraDll32 Velmora.dll 0 X86DIR Browser32 wxs
sql=(
  "$(entries downloader 32 WexloExe Wexlo.exe "$server64" INSTALLDIR Server sql)"
  "$(entries browser 32 VelmoraDll32 Velmora.dll 0 X86DIR Browser32 sql)"
)
if [ "$platform" = x64 ]; then
  wxi server_64 downloader 64 WexloExe Wexlo.exe "$server64" INSTALLDIR Server64 wxs-keypath
  wxi browser_64 browser 64 VelmoraDll64 Velmora.dll 1 X64DIR Browser64 wxs
  sql+=(
    "$(entries downloader 64 WexloExe Wexlo.exe "$server64" INSTALLDIR Server64 sql)"
    "$(entries browser 64 VelmoraDll64 Velmora.dll 1 X64DIR Browser64 sql)"
  )
  guids=(-D ProgramFiles=ProgramFiles64Folder -D ServerGuid='{A4CF41E5-D32F-41BC-A17F-8958E383762F}'
         -D DocumentsGuid='{F15B1242-9C5E-494D-8712-1DC290D24874}'
         -D Browser32Guid='{982C08EA-FF0C-43DD-8D3E-EEB0CE9D75BF}')
else
  guids=(-D ProgramFiles=ProgramFiles64Folder -D ServerGuid='{3A580460-8E7C-4FC3-97E3-076FAA5ED35E}'
         -D DocumentsGuid='{C5967C53-1B6A-4537-BA01-86494905864C}'
         -D Browser32Guid='{57360CD5-6BA2-4F83-8577-C7623E0C57C2}')
fi

# wixl takes file sources relative to the current folder only.
out="$(realpath -m "$out")"
(cd "$stage" && wixl -a "$platform" -D Platform="$platform" -D Version="$version" -D Stage=. \
  "${guids[@]}" -I "$work" -o "$out" "$here/wexlo.wxs")
msibuild "$out" -q 'UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4'
while IFS= read -r query; do
  if [ -n "$query" ]; then msibuild "$out" -q "$query"; fi
done < <(printf '%s\n' "${sql[@]}")
