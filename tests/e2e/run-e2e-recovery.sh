#!/usr/bin/env bash
# A crash with unsaved changes: the program, keeping its recovery file every second, opens a
# map, a structure is moved, and once the change is kept the program is killed. Started again,
# it offers the change; taken, Ctrl+S writes it to the map's own file, byte for byte what the
# killed program would have saved.
#
#   run-e2e-recovery.sh <valdrune-placer> <e2e_probe> <own folder>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

export VALDRUNE_AUTOSAVE_MS=1000
recovery="$XDG_DATA_HOME/valdrune-placer/recovery"
kept() { compgen -G "$recovery/*.$1" >/dev/null; }
map="$work/map.xml"
map_bytes 100,100 >"$map"

# --- First run: open, move, wait for the recovery file, crash --------------------------------
start_program 1
menu Down Down # Open
answer 'Open File' "$map" Return
map_origin
drag_on_map 103 103 20 10
for _ in $(seq 50); do kept json && break; sleep 0.2; done # the sidecar comes last
kept json || fail "no recovery file was written within 10 s of the change"
kill -9 "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
compare "$map" "the crash (the map's own file is untouched)" 100,100

# --- Second run: take the change and save it -------------------------------------------------
start_program 2
answer '^Recover$' "" Return # Yes
map_origin
xdotool mousemove --sync $((ox + 400)) $((oy + 400)) click 1 # the keys go to the map
save_and_compare "$map" "recovering and Ctrl+S" 120,110
# Saved, the map needs no recovery file; only this copy's lock is left, the crashed one's gone.
! kept xml || fail "a recovery file is left after the save"
[ "$(ls -A "$recovery" | grep -vc '\.lock$')" = 0 ] && [ "$(ls -A "$recovery" | wc -l)" = 1 ] ||
    fail "the recovery folder holds more than the running copy's lock: $(ls -A "$recovery")"
stop_program
check_sanitizers

echo "e2e: an unsaved change survived a crash and was saved to its own file"
