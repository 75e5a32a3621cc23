#!/usr/bin/env bash
# Runs the program as a person does, under Xvfb with the real mouse and keyboard (xdotool):
# a new map from a terrain image, a structure dragged from the "Files" tree onto the map and
# moved, saved under a chosen name, quit; then started again, the file opened, and the
# structure's pixels checked on screen in their radar colours; then a map of two structures
# edited with the keys: a move undone and redone, Save As, a rubber band and a drag of both,
# a click and Delete, the saved bytes compared after each step.
#
#   run-e2e.sh <valdrune-placer> <e2e_probe> <own folder>
#
# Everything happens in the own folder, emptied first: the program starts there and the tree
# opens on it, so nothing else in the system's temporary folder can change what it shows.
set -euo pipefail

program="$1"
probe="$2"
own="${3:?no folder given for the test}"
run_probe() { QT_QPA_PLATFORM=offscreen "$probe" "$@"; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed"; exit 1; }
done

rm -rf "$own"
mkdir -p "$own/tmp"
work="$(cd "$own" && pwd)"
export TMPDIR="$work/tmp"
display=":$((90 + RANDOM % 100))"
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    if [ "${keep:-}" != 1 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "e2e: $*"
    import -display "$display" -window root "$work/failure.png" 2>/dev/null || true
    keep=1
    echo "e2e: screenshot and data kept in $work"
    exit 1
}

# The program reads its configuration next to its executable: run a copy in the work folder.
data="$work/data"
run_probe make-data "$data" >/dev/null 2>&1 || fail "could not make the test data"
cp "$program" "$data/valdrune-placer"
cp "$data/dunmarra.xml" "$data/dunmarra.xml.keep"

Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_QPA_PLATFORMTHEME=none XDG_CURRENT_DESKTOP=none
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

shot() { import -window root "$work/shot.png"; }
settle() { sleep "${1:-0.4}"; }

start_program() {
    (cd "$data" && exec ./valdrune-placer >"$work/stdout-$1.txt" 2>&1) &
    app_pid=$!
    window="$(timeout 60 xdotool search --sync --onlyvisible --name '^Valdrune Structure Placer$' |
        head -n 1)" || true
    [ -n "$window" ] || fail "the main window did not appear (see $work/stdout-$1.txt)"
    xdotool windowmove --sync "$window" 0 0 windowactivate --sync "$window" >/dev/null 2>&1 || true
    settle 1
    read -r wx wy < <(xdotool getwindowgeometry "$window" |
        sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
}

# Opens the File menu and chooses its n-th entry (separators are skipped by the keys).
# Picks entry $1 of the Scale menu, reached from the File menu with the Right key (which
# opens the next menu with its first entry active).
scale_menu() {
    xdotool mousemove --sync $((wx + 18)) $((wy + 10)) click 1
    settle
    xdotool key Right Right # past Edit
    settle
    for _ in $(seq $(($1 - 1))); do xdotool key Down; done
    xdotool key Return
    settle
}

file_menu() {
    xdotool mousemove --sync $((wx + 18)) $((wy + 10)) click 1
    settle
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
    settle
}

# Waits for a top-level window with the given title and gives it the keyboard.
await_window() {
    local id
    id="$(timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n 1)" || true
    [ -n "$id" ] || fail "no window \"$1\""
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    settle
}

map_origin() {
    shot
    read -r ox oy _ _ < <(run_probe find "$work/shot.png" 204060) || fail "the map is not on screen"
}

# --- First run: new map, drag, move, save, exit ---------------------------------------------
start_program 1

file_menu 1 # New
await_window '^Select Image Files$'
xdotool type --delay 5 "$data/terrain.png"
xdotool key Tab Tab space # past "..." to OK
settle 1
map_origin

# The tree opens on the folder the program started in; its only structure is the first row
# below it.
shot
read -r sx sy sw sh < <(run_probe find "$work/shot.png" 308cc6 $((wx + 600)) $wy 800 900) ||
    fail "the tree shows no selected folder"
xdotool mousemove --sync $((sx + sw / 2)) $((sy + sh / 2)) click 1
settle
xdotool key Right Right # into the folder (expanding it if need be), onto its first row
settle
shot
read -r rx ry rw rh < <(run_probe find "$work/shot.png" 308cc6 $((wx + 600)) $wy 800 900) ||
    fail "the structure row is not selected"

# Drag the structure onto the map: press on its row, move a little along it until the drag
# starts, then in steps to the map, and release.
drop_x=$((ox + 100))
drop_y=$((oy + 80))
px=$((rx + rw / 2))
py=$((ry + rh / 2))
xdotool mousemove --sync "$px" "$py" mousedown 1
for dx in 4 8 12 16; do
    xdotool mousemove --sync $((px + dx)) "$py"
    sleep 0.05
done
px=$((px + 16))
for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove --sync $((px + (drop_x - px) * step / 10)) $((py + (drop_y - py) * step / 10))
    sleep 0.05
done
xdotool mousemove --sync $((drop_x + 1)) "$drop_y"
sleep 0.1
xdotool mousemove --sync "$drop_x" "$drop_y"
sleep 0.1
xdotool mouseup 1
settle 1

# Move it with the left button by (40, 25).
xdotool mousemove --sync $((drop_x + 3)) $((drop_y + 3)) mousedown 1
for step in 1 2 3 4 5; do
    xdotool mousemove --sync $((drop_x + 3 + 8 * step)) $((drop_y + 3 + 5 * step))
    sleep 0.05
done
xdotool mouseup 1
settle

placements="$work/placements.xml"
file_menu 4 # Save
await_window 'Save as'
xdotool type --delay 5 "$placements"
xdotool key Return
settle 1
[ -f "$placements" ] || fail "nothing was saved"

file_menu 6 # Exit
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "File > Exit did not quit"
app_pid=""

expected="$work/expected.xml"
printf '<?xml version="1.0" encoding="utf-8" ?>\n<Valdrune>\n\t<Image>%s</Image>\n\t<MLT Invisible="False">\n\t\t<Location X="140" Y="105" OffsetX="-6" OffsetY="-4" />\n\t\t<File RegionX="12" RegionY="8">%s</File>\n\t</MLT>\n</Valdrune>\n' \
    "$data/terrain.png" "$data/keep.mlt" >"$expected"
if ! cmp -s "$expected" "$placements"; then
    diff "$expected" "$placements" || true
    fail "the saved placements differ from what was placed"
fi
grep -qx 'Item is at 140,105' "$work/stdout-1.txt" || fail "no \"Item is at\" line on standard output"

# --- Second run: open the file and look at the map ------------------------------------------
start_program 2
file_menu 2 # Open
await_window 'Open File'
xdotool type --delay 5 "$placements"
xdotool key Return
settle 1
map_origin
run_probe expect "$work/shot.png" "$data/keep.mlt" "$data/radar.bin" $((ox + 140)) $((oy + 105)) ||
    fail "the structure is not on the map in its radar colours"
scale_menu 3
map_origin
run_probe expect "$work/shot.png" "$data/keep.mlt" "$data/radar.bin" $((ox + 420)) $((oy + 315)) 3 ||
    fail "at scale 3 the structure and the terrain are not on the map as they should be"

# --- Editing: two structures, each step saved and compared ------------------------------------
# The placement file of the keep.mlt structure at the given positions ("x,y" each).
map_bytes() {
    printf '<?xml version="1.0" encoding="utf-8" ?>\n<Valdrune>\n\t<Image>%s</Image>\n' "$data/terrain.png"
    for at in "$@"; do
        printf '\t<MLT Invisible="False">\n\t\t<Location X="%s" Y="%s" OffsetX="-6" OffsetY="-4" />\n\t\t<File RegionX="12" RegionY="8">%s</File>\n\t</MLT>\n' \
            "${at%,*}" "${at#*,}" "$data/keep.mlt"
    done
    printf '</Valdrune>\n'
}
# Saves with Ctrl+S and compares file $1 with the map of the remaining arguments.
save_and_compare() {
    local file="$1" step="$2"
    shift 2
    xdotool key ctrl+s
    settle 1
    map_bytes "$@" >"$work/expected-edit.xml"
    if ! cmp -s "$work/expected-edit.xml" "$file"; then
        diff "$work/expected-edit.xml" "$file" || true
        fail "after $step the saved map is not what was done"
    fi
}
# Presses the left button at canvas position $1,$2, moves by $3,$4 in steps and releases.
drag_on_map() {
    local x=$((ox + $1)) y=$((oy + $2))
    xdotool mousemove --sync "$x" "$y" mousedown 1
    for step in 1 2 3 4 5; do
        xdotool mousemove --sync $((x + $3 * step / 5)) $((y + $4 * step / 5))
        sleep 0.05
    done
    xdotool mouseup 1
    settle
}

scale_menu 1
two="$work/two.xml"
map_bytes 100,100 200,100 >"$two"
xdotool key ctrl+o
await_window 'Open File'
xdotool type --delay 5 "$two"
xdotool key Return
settle 1
map_origin

drag_on_map 103 103 20 10
save_and_compare "$two" "a move" 120,110 200,100
xdotool key ctrl+z
save_and_compare "$two" "Ctrl+Z" 100,100 200,100
xdotool key ctrl+shift+z
save_and_compare "$two" "Ctrl+Shift+Z" 120,110 200,100

other="$work/other.xml"
xdotool key ctrl+shift+s
await_window 'Save as'
xdotool type --delay 5 "$other"
xdotool key Return
settle 1
map_bytes 120,110 200,100 >"$work/expected-edit.xml"
cmp -s "$work/expected-edit.xml" "$other" || fail "Save As did not write the map to the new name"

# A rubber band from empty ground touching both, then one drag moves both; the later save
# goes to the new name.
drag_on_map 90 95 115 17
drag_on_map 203 103 10 20
save_and_compare "$other" "a rubber band and a drag" 130,130 210,120
map_bytes 120,110 200,100 >"$work/expected-edit.xml"
cmp -s "$work/expected-edit.xml" "$two" || fail "a save after Save As went to the old name"

# A click selects one; Delete removes it.
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1
xdotool mousemove --sync $((ox + 133)) $((oy + 133)) click 1
settle
xdotool key Delete
save_and_compare "$other" "a click and Delete" 210,120

kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
# Built with sanitizers, the program reports what they found on its output.
if grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/stdout-*.txt; then
    cat "$work"/stdout-*.txt
    fail "the sanitizers reported errors"
fi

echo "e2e: placed, moved, saved, reopened, seen on screen and edited with the keys"
