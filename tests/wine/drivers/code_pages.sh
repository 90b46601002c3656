#!/usr/bin/env bash
# The code-page test program under the double-byte code pages of Japanese,
# Simplified Chinese, Korean and Traditional Chinese Windows, and under UTF-8
# as the ANSI code page (Windows 10 and 11 can make it the system's). Wine
# takes a process's ANSI code page from its locale, or UTF-8 from an
# application manifest beside a program that embeds none; the program checks
# that it got the one asked for. One PASS or FAIL line per code page.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

PROGRAM="$BUILD/$WEX_WIN_ARCH/wtests/code_pages_wtest.exe"
UTF8_DIR="$WEX_SCRATCH_HOST/code_page_utf8"
mkdir -p "$UTF8_DIR"
cp "$PROGRAM" "$UTF8_DIR/"
cat >"$UTF8_DIR/code_pages_wtest.exe.manifest" <<'MANIFEST'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>
    </windowsSettings>
  </application>
</assembly>
MANIFEST

for case in ja_JP:932 zh_CN:936 ko_KR:949 zh_TW:950 C:65001; do
  locale="${case%%:*}" acp="${case##*:}"
  [ "$acp" = 65001 ] && PROGRAM="$UTF8_DIR/code_pages_wtest.exe"
  log="$WEX_SCRATCH_HOST/code_page_$acp.log"
  if (cd "$WEX_SCRATCH_HOST" && LC_ALL="$locale.UTF-8" WEX_EXPECT_ACP="$acp" \
      timeout 300 "$WINE" "$PROGRAM") >"$log" 2>&1; then
    echo "PASS code_page_$acp"
  else
    echo "FAIL code_page_$acp"
    grep -E 'Failure|FAILED|Which is' "$log" | head -20
  fi
done
