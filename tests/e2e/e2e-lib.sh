# Shared by the end-to-end scenarios, which source it before anything else.
# Starts Xvfb on a free display, makes the test data in the scenario's own folder and defines
# the steps a person takes (menus, dialogs, drags) and the checks on screen and on disk.
#
#   run-e2e-<scenario>.sh <valdrune-placer> <e2e_probe> <own folder>
#
# Everything happens in the own folder, emptied first: the program starts there and the tree
# opens on it, so nothing else in the system's temporary folder can change what it shows.
# Its data folder also holds the program's own data (XDG_DATA_HOME) and its settings
# (XDG_CONFIG_HOME), so that files it keeps between runs stay within the test.

program="$1" probe="$2" own="${3:?no folder given for the test}"
run_probe() { QT_QPA_PLATFORM=offscreen "$probe" "$@"; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed"; exit 1; }
done

rm -rf "$own"
mkdir -p "$own/tmp"
work="$(cd "$own" && pwd)"
export TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data-home" XDG_CONFIG_HOME="$work/config-home"
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

# Xvfb picks a free display itself and writes its number once it takes connections.
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$work/display.txt" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display.txt" ] && break; sleep 0.1; done
[ -s "$work/display.txt" ] || { echo "e2e: Xvfb did not start"; exit 1; }
display=":$(head -n 1 "$work/display.txt")"
export DISPLAY="$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_QPA_PLATFORMTHEME=none XDG_CURRENT_DESKTOP=none

settle() { sleep "${1:-0.4}"; }

# Starts the program in the data folder, its output going to stdout-$1.txt, with the arguments
# after $1, and finds its window (wx, wy): the first whose title matches $title, when set.
start_program() {
    local run="$1"
    shift
    (cd "$data" && exec ./valdrune-placer "$@" >"$work/stdout-$run.txt" 2>&1) &
    app_pid=$!
    window="$(timeout 60 xdotool search --sync --onlyvisible --name "${title:-^(.+ — )?Valdrune Structure Placer\$}" |
        head -n 1)" || true
    [ -n "$window" ] || fail "the main window did not appear (see $work/stdout-$run.txt)"
    xdotool windowmove --sync "$window" 0 0 windowactivate --sync "$window" >/dev/null 2>&1 || true
    settle 1
    read -r wx wy < <(xdotool getwindowgeometry "$window" |
        sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
}

# Opens the File menu with a click and presses the given keys there, then Return: n times Down
# picks its n-th entry (separators are skipped), Right Right moves on to the Scale menu.
# (Not --sync: when the pointer is there already, that waits for a move that never comes.)
menu() {
    xdotool mousemove $((wx + 18)) $((wy + 10)) click 1
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


# Fails unless the main window's title is $1.
expect_title() {
    local title
    title="$(xdotool getwindowname "$window")"
    [ "$title" = "$1" ] || fail "the window's title is \"$title\", not \"$1\""
}

# Ends the running program without asking it anything.
stop_program() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}

# Built with sanitizers, the program reports what they found on its output.
check_sanitizers() {
    if grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/stdout-*.txt; then
        cat "$work"/stdout-*.txt
        fail "the sanitizers reported errors"
    fi
}
