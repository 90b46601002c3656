#!/usr/bin/env bash
# The dialogs of Velmora.Browser as a user meets them: a JScript run by
# cscript calls one method, this script finds the dialog by its title on the
# Xvfb display, answers it with xdotool and checks what the script printed.
# One PASS or FAIL line per case; a screenshot of each dialog is kept in
# dialog-screens/ beside the scratch folder.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
source "$ROOT/scripts/lib.sh"

WORK="$WEX_SCRATCH_HOST/dialogs"
DOCS="$WORK/docs"  # the scripts' current folder, where the file dialogs start
SHOTS="$(dirname "$WEX_SCRATCH_HOST")/dialog-screens"
SCRIPT="$(winpath "$ROOT/tests/wine/dialogs/dialogs_box.js")"
WAIT=60  # seconds for a dialog to appear and for a script to end
rm -rf "$WORK" "$SHOTS"
mkdir -p "$DOCS" "$SHOTS"

# shot <name> <window>: the first picture of each dialog is kept.
shot() {
  [ -e "$SHOTS/$1.png" ] || import -window "$2" "$SHOTS/$1.png" 2>>"$WORK/import.log" || true
}

# Answers: each types into the focused dialog, takes its picture, and closes it.
type_text_and_accept() { xdotool type --delay 20 "$ANSWER_TEXT"; shot "$SHOT" "$1"; xdotool key Return; }
press_escape() { shot "$SHOT" "$1"; xdotool key Escape; }
# From the file name box back to the list of files, the first one chosen and
# opened, as a user picks a name that no keyboard of theirs could type.
choose_first_listed() { xdotool key shift+Tab Home; shot "$SHOT" "$1"; xdotool key Return; }
# The full-open Colour dialog starts with the focus in its Red box; Tab moves
# to Green, then Blue, and the last Tab commits Blue. Return presses OK.
type_colour_and_accept() {
  local part
  for part in $ANSWER_TEXT; do
    xdotool type "$part"
    xdotool key Tab
  done
  shot "$SHOT" "$1"
  xdotool key Return
}

# run_case <name> <method> <title pattern> <expected output> <answer>
run_case() {
  local name="$1" method="$2" title="$3" expected="$4" answer="$5"
  local out="$WORK/$name.out" pid win rc got
  (cd "$DOCS" && exec timeout "$WAIT" "$WINE" cscript //nologo "$SCRIPT" "$method") \
    >"$out" 2>"$WORK/$name.err" &
  pid=$!
  win="$(timeout "$WAIT" xdotool search --sync --onlyvisible --name "$title" 2>/dev/null | head -1)"
  if [ -z "$win" ]; then
    echo "FAIL $name: no window titled $title appeared"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  xdotool windowfocus --sync "$win"
  "$answer" "$win"
  wait "$pid"
  rc=$?
  got="$(tr -d '\r' <"$out")"
  if [ "$rc" -eq 0 ] && [ "$got" = "$expected" ]; then
    echo "PASS $name"
  else
    echo "FAIL $name: exit $rc, got [$got], expected [$expected]"
  fi
}

OPEN='^Open File$'
SAVE='^Save As$'
COLOUR='^Colou?r$'
docs_win="$(winpath "$DOCS")"

SHOT=open ANSWER_TEXT="$docs_win\\chosen.dat"
run_case open_typed_path OpenBox "$OPEN" "string:$docs_win\\chosen.dat" type_text_and_accept
SHOT=save ANSWER_TEXT=report
run_case save_report_gets_txt SaveBox "$SAVE" "string:$docs_win\\report.txt" type_text_and_accept
# A name outside the system's code page (1252 here) comes back whole; the
# file is the only one in the start folder.
touch "$DOCS/日本.txt"
SHOT=open_listed
run_case open_name_outside_code_page OpenBox "$OPEN" "string:$docs_win\\\u65E5\u672C.txt" \
  choose_first_listed
rm -f "$DOCS/日本.txt"
run_case open_escape OpenBox "$OPEN" "string:" press_escape
run_case save_escape SaveBox "$SAVE" "string:" press_escape

SHOT=colour ANSWER_TEXT="0 128 255"
run_case colour_rgb_0_128_255 ColorBoxRGB "$COLOUR" "number:16744448" type_colour_and_accept
run_case colour_hex_0_128_255 ColorBoxHex "$COLOUR" "string:0080FF" type_colour_and_accept
ANSWER_TEXT="0 0 0"
run_case colour_rgb_black ColorBoxRGB "$COLOUR" "number:0" type_colour_and_accept
run_case colour_hex_black ColorBoxHex "$COLOUR" "string:" type_colour_and_accept
run_case colour_rgb_escape ColorBoxRGB "$COLOUR" "number:0" press_escape
run_case colour_hex_escape ColorBoxHex "$COLOUR" "string:" press_escape

for picture in open open_listed save colour; do
  if [ -s "$SHOTS/$picture.png" ]; then echo "PASS screenshot_$picture"; else echo "FAIL screenshot_$picture"; fi
done
