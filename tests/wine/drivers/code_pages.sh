#!/usr/bin/env bash
# The code-page test program under the double-byte code pages of Japanese,
# Simplified Chinese, Korean and Traditional Chinese Windows. Wine takes a
# process's ANSI code page from its locale; the program checks that it got
# the one asked for. One PASS or FAIL line per code page.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

PROGRAM="$BUILD/$WEX_WIN_ARCH/wtests/code_pages_wtest.exe"
for pair in ja_JP:932 zh_CN:936 ko_KR:949 zh_TW:950; do
  locale="${pair%%:*}" acp="${pair##*:}"
  log="$WEX_SCRATCH_HOST/code_page_$acp.log"
  if (cd "$WEX_SCRATCH_HOST" && LC_ALL="$locale.UTF-8" WEX_EXPECT_ACP="$acp" \
      timeout 300 "$WINE" "$PROGRAM") >"$log" 2>&1; then
    echo "PASS code_page_$acp"
  else
    echo "FAIL code_page_$acp"
    grep -E 'Failure|FAILED|Which is' "$log" | head -20
  fi
done
