#!/usr/bin/env bash
# The library folder and what the program remembers, as a person meets them under Xvfb with the
# real mouse and keyboard: a map opened, File > Set Library Folder..., a name typed in the filter
# above the "Files" tree and the file found dragged onto the map, the scale changed, the overview
# closed, Save and Exit; then a restart that brings back the scale, the layout, the library folder
# (its filter finds files again) and the map in File > Open Recent.
#
#   run-e2e-library.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

library="$data/library"
mkdir -p "$library/towers" "$library/walls"
cp "$data/keep.mlt" "$library/towers/round-keep.mlt"
cp "$data/wall.mlt" "$library/walls/long-wall.mlt"
map="$work/map.xml"
map_bytes >"$map"

# Prints "x y w h" of the selected row in the "Files" dock, right of the map.
selected_row() { find_on_screen 308cc6 $((wx + 600)) "$wy" 800 900; }
# The overview is the only terrain right of the "Files" dock's left edge.
overview_shown() { find_on_screen 204060 "$dock" "$wy" 800 900 >/dev/null; }
# Drags the selected row of the filter's list onto the map at $1,$2 (pixels from its corner) as
# a person does: along the row until the drag starts, over in one jump, a last move, release;
# then saves.
drag_found_file() {
    read -r rx ry rw rh < <(selected_row) || fail "the filter found no file"
    local px=$((rx + 20)) py=$((ry + rh / 2))
    map_origin
    xdotool mousemove --sync "$px" "$py" mousedown 1
    glide "$px" "$py" $((px + 16)) "$py" 4
    glide $((px + 16)) "$py" $((ox + $1 + 1)) $((oy + $2)) 1
    glide $((ox + $1 + 1)) $((oy + $2)) $((ox + $1)) $((oy + $2)) 1
    xdotool mouseup 1
    settle 1
    xdotool key ctrl+s
    settle 1
}

# --- First run ------------------------------------------------------------------------------
start_program 1
menu Down Down # Open
answer 'Open File' "$map" Return
# The tree starts on the folder the program started in: a click there puts the keys in the tree.
read -r sx sy _ _ < <(selected_row) || fail "the tree shows no selected folder"
dock=$((sx + 2))
overview_shown || fail "the overview is not on screen at first"
xdotool mousemove --sync "$sx" "$sy" click 1
menu Down Down Down Down Down Down Down Down # Set Library Folder...
answer 'Set Library Folder' "$library" Return
# Shift+Tab from the tree to the filter above it; Down onto the first file found.
xdotool key shift+Tab
settle
xdotool type --delay 50 "KEEP"
settle
xdotool key Down
settle
drag_found_file 100 80
grep -q "<File RegionX=\"12\" RegionY=\"8\">$library/towers/round-keep.mlt</File>" "$map" ||
    fail "the file found by the filter was not dropped on the map"
grep -q '<Location X="100" Y="80"' "$map" || fail "the file found was not dropped where let go"

menu Right Right Down Down # Scale 3 (a menu opened with Right starts on its first entry)
menu Right Right Right Down # View > Overview, off
overview_shown && fail "the overview did not close"
menu Down Down Down Down Down Down Down Down Down # Exit
timeout 5 tail --pid="$app_pid" -f /dev/null || fail "File > Exit did not quit"
app_pid=""

# --- Second run: everything as it was left --------------------------------------------------
start_program 2
menu Down Down Down Right # Open Recent, its first entry
map_origin
run_probe expect "$work/shot.png" "$library/towers/round-keep.mlt" "$data/radar.bin" \
    $((ox + 100 * 3)) $((oy + 80 * 3)) 3 ||
    fail "the recent map did not open at the scale left, 3"
overview_shown && fail "the overview came back although it was closed"
# The tree lists the library folder: a click below its rows, then the filter again.
xdotool mousemove --sync $((rx + 20)) $((ry + 200)) click 1
xdotool key shift+Tab
settle
xdotool type --delay 50 "wall"
settle
xdotool key Down
settle
drag_found_file 150 150
grep -q "$library/walls/long-wall.mlt" "$map" ||
    fail "the library folder did not come back: its filter found nothing to drag"
stop_program
echo "e2e: a file found by the library filter dragged onto the map; scale, layout, library and recent maps back after a restart"
