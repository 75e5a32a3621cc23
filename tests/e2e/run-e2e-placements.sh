#!/usr/bin/env bash
# The Placements dock and Zoom to Fit with the real mouse and keyboard under Xvfb: View >
# Placements opens the table with its filter taking the keys; "wall" leaves the one wall, whose
# row, selected and double-clicked, centres the map on it; View > Zoom to Fit then shows the
# whole 800 x 600 terrain.
#
#   run-e2e-placements.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

map="$work/placements.xml"
{
    printf '<?xml version="1.0" encoding="utf-8" ?>\n<Valdrune>\n\t<Image>%s</Image>\n' "$data/terrain.png"
    for at in 60,40 300,420; do
        printf '\t<MLT Invisible="False">\n\t\t<Location X="%s" Y="%s" OffsetX="-6" OffsetY="-4" />\n\t\t<File RegionX="12" RegionY="8">%s</File>\n\t</MLT>\n' \
            "${at%,*}" "${at#*,}" "$data/keep.mlt"
    done
    printf '\t<MLT Invisible="False">\n\t\t<Location X="400" Y="300" OffsetX="2" OffsetY="1" />\n\t\t<File RegionX="16" RegionY="3">%s</File>\n\t</MLT>\n' \
        "$data/wall.mlt"
    printf '</Valdrune>\n'
} >"$map"

start_program 1 "$map"
map_origin
xdotool mousemove --sync $((ox + 20)) $((oy + 20)) click 1
xdotool key ctrl+equal ctrl+equal # scale 3: the wall is out of sight
settle
# The View menu: Files, Overview, Placements, ...
view_menu() {
    xdotool mousemove $((wx + 146)) $((wy + 10)) click 1
    settle
    xdotool key --delay 150 "$@" Return
    settle
}
view_menu Down Down # Overview off: it shows the terrain's colour too
view_menu Down Down Down # Placements
xdotool type --delay 20 wall
settle
xdotool key Tab space # into the table: its one row selected
settle
read -r rx ry rw rh < <(find_on_screen 308cc6 "$wx" "$wy" 500 900) ||
    fail "the Placements table shows no selected row"
xdotool mousemove --sync $((rx + rw / 2)) $((ry + rh / 2)) click --repeat 2 --delay 80 1
settle 1
xdotool key ctrl+shift+a # Select None: no outline round the wall
settle

# The wall's middle (408, 301.5 on the map) in the middle of the view, whole pixels aside.
read -r vx vy vw vh < <(find_on_screen 204060) || fail "the map is not on screen"
cx=$((vx + vw / 2 - 24))
cy=$((vy + vh / 2 - 4))
import -window root "$work/shot.png"
centred=""
for dy in -2 -1 0 1 2; do
    for dx in -2 -1 0 1 2; do
        if run_probe expect "$work/shot.png" "$data/wall.mlt" "$data/radar.bin" \
            $((cx + dx)) $((cy + dy)) 3 >/dev/null; then
            centred=1
        fi
    done
done
[ -n "$centred" ] || fail "a double-click on the wall's row did not centre the view on it"

# View > Zoom to Fit: Files, Overview, Placements, Missing Files, Checks, Differences, Dim
# Invisible Structures, Show Grid, Snap to Grid, Grid Size..., Zoom to Fit.
view_menu Down Down Down Down Down Down Down Down Down Down Down
read -r _ _ fw fh < <(find_on_screen 204060) || fail "the map is not on screen"
whole=""
for k in 1 2 3 4 5 6 7 8; do
    [ $((fw * k)) = 800 ] && [ $((fh * k)) = 600 ] && whole=1
done
[ -n "$whole" ] || fail "after Zoom to Fit the map shows ${fw} x ${fh} pixels, not the whole of it"

stop_program
check_sanitizers
echo "e2e: a filter and a double-click in the Placements dock centred the wall; Zoom to Fit"
