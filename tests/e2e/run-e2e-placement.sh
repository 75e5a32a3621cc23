#!/usr/bin/env bash
# Runs the program as a person does, under Xvfb with the real mouse and keyboard (xdotool):
# a new map from a terrain image, a structure dragged from the "Files" tree onto the map and
# moved, saved under a chosen name, quit; then started again, the file opened, and the
# structure's pixels checked on screen in their radar colours; then a map of two structures
# edited with the keys: a move undone and redone, Save As, a rubber band and a drag of both,
# Duplicate and a move of the copy, a click and Delete, the saved bytes compared after each step.
#
#   run-e2e-placement.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

# --- First run: new map, drag, move, save, exit ---------------------------------------------
start_program 1
menu Down # New
answer '^Select Image Files$' "$data/terrain.png" Tab Tab space # past "..." to OK
map_origin

# The tree opens on the folder the program started in; its only structure is the first row
# below it.
read -r sx sy sw sh < <(find_on_screen 308cc6 $((wx + 600)) $wy 800 900) ||
    fail "the tree shows no selected folder"
xdotool mousemove --sync $((sx + sw / 2)) $((sy + sh / 2)) click 1
settle
xdotool key Right Right # into the folder (expanding it if need be), onto its first row
settle
read -r rx ry rw rh < <(find_on_screen 308cc6 $((wx + 600)) $wy 800 900) ||
    fail "the structure row is not selected"

# Drag the structure onto the map: press on its row, move a little along it until the drag
# starts, then over to the map in one jump (a stop near the view's edge would scroll it), and
# release there after one more move.
px=$((rx + rw / 2))
py=$((ry + rh / 2))
xdotool mousemove --sync "$px" "$py" mousedown 1
glide "$px" "$py" $((px + 16)) "$py" 4
glide $((px + 16)) "$py" $((ox + 101)) $((oy + 80)) 1
glide $((ox + 101)) $((oy + 80)) $((ox + 100)) $((oy + 80)) 1
xdotool mouseup 1
settle 1

drag_on_map 103 83 40 25 # moves it by (40, 25)
placements="$work/placements.xml"
menu Down Down Down Down Down # Save
answer 'Save as' "$placements" Return
menu Down Down Down Down Down Down Down Down Down # Exit
timeout 5 tail --pid="$app_pid" -f /dev/null || fail "File > Exit did not quit"
app_pid=""
compare "$placements" "a drag from the tree, a move and Save" 140,105
grep -qx 'Item is at 140,105' "$work/stdout-1.txt" || fail "no \"Item is at\" line on standard output"

# --- Second run: open the file and look at the map ------------------------------------------
start_program 2
menu Down Down # Open
answer 'Open File' "$placements" Return
for scale in 1 3; do
    [ "$scale" = 1 ] || menu Right Right Down Down
    map_origin
    run_probe expect "$work/shot.png" "$data/keep.mlt" "$data/radar.bin" \
        $((ox + 140 * scale)) $((oy + 105 * scale)) "$scale" ||
        fail "at scale $scale the structure and the terrain are not on the map as they should be"
done

# --- Editing: two structures, each step saved and compared ------------------------------------
menu Right Right
two="$work/two.xml"
map_bytes 100,100 200,100 >"$two"
xdotool key ctrl+o
answer 'Open File' "$two" Return
map_origin

drag_on_map 103 103 20 10
save_and_compare "$two" "a move" 120,110 200,100
xdotool key ctrl+z
save_and_compare "$two" "Ctrl+Z" 100,100 200,100
xdotool key ctrl+shift+z
save_and_compare "$two" "Ctrl+Shift+Z" 120,110 200,100
xdotool key ctrl+z
save_and_compare "$two" "Ctrl+Z again" 100,100 200,100
xdotool key ctrl+y
save_and_compare "$two" "Ctrl+Y" 120,110 200,100

other="$work/other.xml"
xdotool key ctrl+shift+s
answer 'Save as' "$other" Return
compare "$other" "Save As" 120,110 200,100

# A rubber band from empty ground touching both, then one drag moves both; the later save
# goes to the new name.
drag_on_map 90 95 115 17
drag_on_map 203 103 10 20
save_and_compare "$other" "a rubber band and a drag" 130,130 210,120
compare "$two" "a save after Save As (to the old name?)" 120,110 200,100

# A click selects one; Delete removes it.
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1
xdotool mousemove --sync $((ox + 133)) $((oy + 133)) click 1
settle
# Ctrl+D duplicates it eight cells right of and below it, the copy selected: Shift+Right moves
# the copy by ten, and Delete takes it away again.
xdotool key ctrl+d
xdotool key shift+Right
save_and_compare "$other" "Ctrl+D and Shift+Right" 130,130 210,120 148,138
xdotool key Delete
save_and_compare "$other" "Delete after Duplicate" 130,130 210,120
xdotool mousemove --sync $((ox + 133)) $((oy + 133)) click 1
settle
xdotool key Delete
save_and_compare "$other" "a click and Delete" 210,120

# A right click during a drag opens the structure's menu; once it is closed and the button let
# go, the drag is over: the structure is back, and a press on empty ground draws a rubber band
# instead of carrying it along.
xdotool mousemove --sync $((ox + 213)) $((oy + 123)) mousedown 1
glide $((ox + 213)) $((oy + 123)) $((ox + 243)) $((oy + 143)) 4
xdotool click 3
settle
xdotool key Escape
settle
xdotool mouseup 1
settle
drag_on_map 400 300 -60 -40
save_and_compare "$other" "a right click during a drag" 210,120
expect_title "other.xml — Valdrune Structure Placer"

# Every save prints a line for each structure: eight saves of two, one of three, one of one.
[ "$(grep -c '^Item is at ' "$work/stdout-2.txt")" = 20 ] || fail "not a line for each structure saved"

# Unsaved changes show in the title; Close and Exit ask about them: Cancel keeps the map, No
# quits without writing.
xdotool mousemove --sync $((ox + 213)) $((oy + 123)) click 1
xdotool key Right
settle
expect_title "other.xml* — Valdrune Structure Placer"
xdotool key ctrl+w
answer '^Save changes$' "" Escape
expect_title "other.xml* — Valdrune Structure Placer"
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1 key ctrl+q
answer '^Save changes$' "" n
timeout 5 tail --pid="$app_pid" -f /dev/null || fail "No to the question did not quit"
app_pid=""
compare "$other" "quitting without saving" 210,120
check_sanitizers

echo "e2e: placed, moved, saved, reopened, seen on screen and edited with the keys"
