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

program="$1" probe="$2" own="${3:?no folder given for the test}"
run_probe() { QT_QPA_PLATFORM=offscreen "$probe" "$@"; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed"; exit 1; }
done

rm -rf "$own"
mkdir -p "$own/tmp"
work="$(cd "$own" && pwd)"
export TMPDIR="$work/tmp"
display=":$((90 + RANDOM % 100))"
xvfb_pid="" app_pid=""
cleanup() {
    kill $app_pid $xvfb_pid 2>/dev/null || true
    if [ "${keep:-}" != 1 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "e2e: $*; screenshot and data kept in $work"
    import -display "$display" -window root "$work/failure.png" 2>/dev/null || true
    keep=1
    exit 1
}

# The program reads its configuration next to its executable: run a copy in the work folder.
data="$work/data"
run_probe make-data "$data" >/dev/null 2>&1 || fail "could not make the test data"
cp "$program" "$data/valdrune-placer"

Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_QPA_PLATFORMTHEME=none XDG_CURRENT_DESKTOP=none
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

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

# Opens the File menu with a click and presses the given keys there, then Return: n times Down
# picks its n-th entry (separators are skipped), Right Right moves on to the Scale menu.
menu() {
    xdotool mousemove --sync $((wx + 18)) $((wy + 10)) click 1
    settle
    xdotool key --delay 150 "$@" Return
    settle
}

# Waits for a top-level window with the title $1, types $2 into it and presses the keys after.
answer() {
    local id
    id="$(timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n 1)" || true
    [ -n "$id" ] || fail "no window \"$1\""
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    settle
    xdotool type --delay 5 "$2"
    xdotool key "${@:3}"
    settle 1
}

# Takes a screenshot and prints "x y w h" of the pixels of colour $1 (in the area given after it);
# map_origin sets ox, oy to the map's top-left corner on screen.
find_on_screen() {
    import -window root "$work/shot.png"
    run_probe find "$work/shot.png" "$@"
}
map_origin() { read -r ox oy _ _ < <(find_on_screen 204060) || fail "the map is not on screen"; }

# Moves the pointer from $1,$2 to $3,$4 in $5 steps.
glide() {
    for step in $(seq "$5"); do
        xdotool mousemove --sync $(($1 + ($3 - $1) * step / $5)) $(($2 + ($4 - $2) * step / $5))
        sleep 0.05
    done
}
# Presses the left button at canvas position $1,$2, moves by $3,$4 in steps and releases.
drag_on_map() {
    xdotool mousemove --sync $((ox + $1)) $((oy + $2)) mousedown 1
    glide $((ox + $1)) $((oy + $2)) $((ox + $1 + $3)) $((oy + $2 + $4)) 5
    xdotool mouseup 1
    settle
}

# The placement file of the keep.mlt structure at the given positions ("x,y" each).
map_bytes() {
    printf '<?xml version="1.0" encoding="utf-8" ?>\n<Valdrune>\n\t<Image>%s</Image>\n' "$data/terrain.png"
    for at in "$@"; do
        printf '\t<MLT Invisible="False">\n\t\t<Location X="%s" Y="%s" OffsetX="-6" OffsetY="-4" />\n\t\t<File RegionX="12" RegionY="8">%s</File>\n\t</MLT>\n' \
            "${at%,*}" "${at#*,}" "$data/keep.mlt"
    done
    printf '</Valdrune>\n'
}
# Compares file $1, saved after step $2, with the map of the remaining arguments.
compare() {
    local file="$1" step="$2"
    shift 2
    map_bytes "$@" >"$work/expected.xml"
    if ! cmp -s "$work/expected.xml" "$file"; then
        diff "$work/expected.xml" "$file" || true
        fail "after $step the saved map is not what was done"
    fi
}
save_and_compare() {
    xdotool key ctrl+s
    settle 1
    compare "$@"
}

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
# starts, then in steps to the map, and release there after one more move.
px=$((rx + rw / 2))
py=$((ry + rh / 2))
xdotool mousemove --sync "$px" "$py" mousedown 1
glide "$px" "$py" $((px + 16)) "$py" 4
glide $((px + 16)) "$py" $((ox + 101)) $((oy + 80)) 10
glide $((ox + 101)) $((oy + 80)) $((ox + 100)) $((oy + 80)) 1
xdotool mouseup 1
settle 1

drag_on_map 103 83 40 25 # moves it by (40, 25)
placements="$work/placements.xml"
menu Down Down Down Down # Save
answer 'Save as' "$placements" Return
menu Down Down Down Down Down Down # Exit
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
xdotool key Delete
save_and_compare "$other" "a click and Delete" 210,120

# Every save prints a line for each structure: six saves of two structures, one of one.
[ "$(grep -c '^Item is at ' "$work/stdout-2.txt")" = 11 ] || fail "not a line for each structure saved"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
# Built with sanitizers, the program reports what they found on its output.
if grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/stdout-*.txt; then
    cat "$work"/stdout-*.txt
    fail "the sanitizers reported errors"
fi

echo "e2e: placed, moved, saved, reopened, seen on screen and edited with the keys"
