#!/usr/bin/env bash
# Exports a map as a person does, and from the command line: the program started with a small
# map named on its command line shows it at once; File > Export Image... writes exactly the
# pixels of the map on screen; --export writes the same file without a window or a display, and
# when it cannot, says why on standard error, exits non-zero and leaves the disk as it was.
# A map on the command line that cannot be read is refused as File > Open refuses it.
#
#   run-e2e-export.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

run_probe make-map "$data" >/dev/null 2>&1 || fail "could not make the small map"
map="$data/small.xml"

# --- The map named on the command line, exported from the menu -------------------------------
start_program 1 "$map"
menu Down Down Down Down Down Down Down # Export Image...
answer 'Export Image' "$work/menu" Return # no suffix typed: ".png" is added
[ -f "$work/menu.png" ] || fail "File > Export Image... wrote no menu.png"
import -window root "$work/shot.png"
run_probe contains "$work/shot.png" "$work/menu.png" >/dev/null ||
    fail "the exported image is not the map as the screen shows it at scale 1"
stop_program

# --- The same from the command line, without a display ---------------------------------------
export_map() { (cd "$data" && unset DISPLAY && exec ./valdrune-placer --export "$@"); }
export_map "$work/cli.png" "$map" >"$work/stdout-cli.txt" 2>&1 || fail "--export failed"
cmp -s "$work/menu.png" "$work/cli.png" || fail "--export wrote another image than the menu"

# A map that is not there, a terrain that is not there, a folder that is not there, a disk
# that is full, no map, no image: a message, a non-zero status, the old file as it was.
sed "s|$data/small.png|$data/nothing.png|" "$map" >"$work/no-terrain.xml"
printf 'old' >"$work/old.png"
for args in "$work/old.png $work/nothing.xml" "$work/old.png $work/no-terrain.xml" \
    "$work/nowhere/new.png $map" "full $work/old.png $map" "$work/old.png" ""; do
    status=0
    if [ "${args%% *}" = full ]; then
        (ulimit -f 1 && trap '' XFSZ && export_map ${args#full }) 2>"$work/stderr.txt" || status=$?
    else
        export_map $args >/dev/null 2>"$work/stderr.txt" || status=$?
    fi
    [ "$status" != 0 ] || fail "--export $args succeeded"
    [ -s "$work/stderr.txt" ] || fail "--export $args said nothing on standard error"
    [ "$(cat "$work/old.png")" = old ] || fail "--export $args changed old.png"
done
[ "$(ls "$work" | grep -c '\.png')" = 4 ] || fail "a failed --export left a file behind"
# Only PNG is written, under a name that says so (in any letter case).
status=0
export_map "$work/shot.jpg" "$map" >/dev/null 2>"$work/stderr.txt" || status=$?
[ "$status" = 2 ] && grep -q '"\.png"' "$work/stderr.txt" || fail "--export to a .jpg name gave status $status"
[ ! -e "$work/shot.jpg" ] || fail "--export wrote a .jpg name"
export_map "$work/upper.PNG" "$map" || fail "--export to a .PNG name failed"

# --- A map on the command line that cannot be read --------------------------------------------
start_program 2 "$work/nothing.xml"
answer '^Open failed$' "" Return
stop_program
check_sanitizers

echo "e2e: the map opened from the command line, exported from the menu and without a window"
