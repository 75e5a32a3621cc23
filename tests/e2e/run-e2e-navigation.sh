#!/usr/bin/env bash
# Finding one's way on a map with the real mouse under Xvfb: Ctrl+wheel zooms in around the
# pointer, keeping the map cell under it in place; a structure moved to the bottom of the view
# and held there scrolls the map and lands beyond the first screen, where the saved file has it.
#
#   run-e2e-navigation.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

start_program 1
map="$work/navigation.xml"
map_bytes 60,40 >"$map"
menu Down Down # Open
answer 'Open File' "$map" Return
map_origin

# The pointer on the first pixel of the structure's own cell, at scale 1; five notches up with
# Ctrl held make scale 6, and that pixel is still the cell's first.
px=$((ox + 60))
py=$((oy + 40))
xdotool mousemove --sync "$px" "$py"
for _ in 1 2 3 4 5; do
    xdotool keydown ctrl click 4 keyup ctrl
    settle 0.2
done
settle
import -window root "$work/shot.png"
run_probe expect "$work/shot.png" "$data/keep.mlt" "$data/radar.bin" "$px" "$py" 6 ||
    fail "after Ctrl+wheel the structure's cell is not under the pointer at scale 6"

# A right click during a pan with the middle button opens the structure's menu; once it is
# closed and the button let go, the pan is over: the map stays put under a pointer that moves
# with no button held.
gx=$((px + 20))
gy=$((py + 20))
xdotool mousemove --sync "$gx" "$gy" mousedown 2
glide "$gx" "$gy" $((gx + 30)) "$gy" 3
glide $((gx + 30)) "$gy" "$gx" "$gy" 3
xdotool click 3
settle
xdotool key Escape
settle
xdotool mouseup 2
settle
area="300x300+$((gx - 40))+$((gy - 40))"
import -window root -crop "$area" "$work/before.png"
glide "$gx" "$gy" $((gx + 150)) $((gy + 100)) 5
settle
import -window root -crop "$area" "$work/after.png"
[ "$(command compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1)" = 0 ] ||
    fail "the map went on panning after the middle button was let go"
xdotool mousemove --sync "$gx" "$gy"

# Grab the structure three cells into it, go down past the view's bottom edge and hold there,
# then come back up into the view and let go.
read -r wh < <(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
xdotool mousemove --sync "$gx" "$gy" mousedown 1
glide "$gx" "$gy" "$gx" $((wy + wh - 4)) 8
settle 1.5
glide "$gx" $((wy + wh - 4)) "$gx" $((wy + wh / 2)) 4
xdotool mouseup 1
settle
xdotool key ctrl+s
settle 1

# The first screen at scale 6 shows fewer than 150 rows of the map from row 0.
y="$(sed -n 's/.*<Location X="60" Y="\([0-9]*\)".*/\1/p' "$map")"
[ -n "$y" ] || { cat "$map"; fail "the saved map does not have the structure in its column"; }
[ "$y" -gt 190 ] || fail "the structure landed at row $y, on the first screen: the view did not scroll"
compare "$map" "a move held at the bottom edge" "60,$y"

stop_program
check_sanitizers
echo "e2e: zoomed at the pointer, scrolled by holding a move at the edge, landed at row $y"
