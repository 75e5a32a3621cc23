#!/usr/bin/env bash
# Placements carried between two running copies of the program, and replaced: the first copy's
# map selected with Ctrl+A and copied with Ctrl+C; a second copy, the first still running, takes
# them with Paste in Place and saves the same placements; then, the library's other structure
# chosen in the tree, Edit > Replace Structure puts it in their place, on the same origin cells.
#
#   run-e2e-editing.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

first="$work/first.xml"
second="$work/second.xml"
map_bytes 100,100 200,100 >"$first"
map_bytes >"$second"

# --- The first copy: everything selected and copied ------------------------------------------
title='^first\.xml — ' start_program 1 "$first"
first_pid=$app_pid
map_origin
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1 key ctrl+a ctrl+c
settle

# --- The second copy: pasted in place and saved, the first still holding the clipboard --------
title='^second\.xml — ' start_program 2 "$second"
map_origin
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1 key ctrl+shift+v
settle
save_and_compare "$second" "a copy in one running program and Paste in Place in another" \
    100,100 200,100

# --- Replace Structure: wall.mlt chosen in the tree, both placements given it -----------------
read -r sx sy sw sh < <(find_on_screen 308cc6 $((wx + 600)) $wy 800 900) ||
    fail "the tree shows no selected folder"
xdotool mousemove --sync $((sx + sw / 2)) $((sy + sh / 2)) click 1
settle
xdotool key Right Right Down # into the folder, past keep.mlt onto wall.mlt
settle
# The Edit menu's entries that are on: Undo, Cut, Copy, Paste, Paste in Place, Duplicate, Delete,
# Select All, Select None, Select Same Structure, then Replace Structure.
xdotool mousemove $((wx + 55)) $((wy + 10)) click 1
settle
xdotool key --delay 150 Down Down Down Down Down Down Down Down Down Down Down Return
settle
xdotool key ctrl+s
settle 1
# Each keeps its origin cell, the position less the offset: keep.mlt's is -6,-4, wall.mlt's 2,1.
{
    printf '<?xml version="1.0" encoding="utf-8" ?>\n<Valdrune>\n\t<Image>%s</Image>\n' "$data/terrain.png"
    for x in 108 208; do
        printf '\t<MLT Invisible="False">\n\t\t<Location X="%s" Y="105" OffsetX="2" OffsetY="1" />\n\t\t<File RegionX="16" RegionY="3">%s</File>\n\t</MLT>\n' \
            "$x" "$data/wall.mlt"
    done
    printf '</Valdrune>\n'
} >"$work/expected.xml"
if ! cmp -s "$work/expected.xml" "$second"; then
    diff "$work/expected.xml" "$second" || true
    fail "Replace Structure did not give both placements wall.mlt on their origin cells"
fi

stop_program
app_pid=$first_pid
stop_program
check_sanitizers
echo "e2e: copied between two running copies, pasted in place, and replaced on the same cells"
