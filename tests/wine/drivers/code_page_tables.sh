#!/usr/bin/env bash
# The native converters against the platform's, under each ANSI code page
# the native build supports: tools/code_page_dump.exe writes what Wine's
# converters give for every byte, every byte pair, UTF-8 sequences of up to
# four bytes, every UTF-16 unit and some surrogates; the native test program
# converts each of them and prints where it differs. Needs the native build
# (scripts/lib.sh build_native) beside this one. One PASS or FAIL line per
# code page.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

DUMP="$BUILD/$WEX_WIN_ARCH/tools/code_page_dump.exe"
NATIVE="$BUILD/native/tests/wex_tests"
TABLES="$WEX_SCRATCH_HOST/code_page_tables"
rm -rf "$TABLES"
mkdir -p "$TABLES"

if [ ! -x "$NATIVE" ]; then
  echo "FAIL code_page_tables: no native test program at $NATIVE (build_native first)"
  exit 1
fi
if ! timeout 300 "$WINE" "$DUMP" "$(winpath "$TABLES")" >"$TABLES/dump.log" 2>&1; then
  echo "FAIL code_page_tables: the dump did not finish"
  cat "$TABLES/dump.log"
  exit 1
fi

WEX_CODE_PAGE_TABLES="$TABLES" timeout 300 "$NATIVE" \
  --gtest_filter='CodePages/CodePageDifferential.*' >"$TABLES/native.log" 2>&1
status=0
for acp in 1252 932 936 949 950 65001; do
  if grep -qE "^\[       OK \] .*/cp$acp " "$TABLES/native.log"; then
    echo "PASS code_page_tables_$acp"
  else
    echo "FAIL code_page_tables_$acp"
    status=1
  fi
done
# The differences, as the native side reports them.
[ "$status" -eq 0 ] || grep -E '^[MW] |Which is|of [0-9]+ conversions' "$TABLES/native.log" | head -60
exit "$status"
