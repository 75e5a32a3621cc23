#!/usr/bin/env bash
# Fails when a folder of src/ includes one above it: core/ may include only itself, editor/
# core/ and itself, and nothing includes app/. Usage: check-includes.sh SRC_DIR
set -euo pipefail
src="${1:?usage: $0 SRC_DIR}"
status=0
check() { # folder, pattern of the includes it may not have
    local found
    found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($2)/" "$src/$1" || true)"
    if [ -n "$found" ]; then
        echo "$1/ includes what it may not:"
        echo "$found"
        status=1
    fi
}
check core 'editor|app'
check editor 'app'
[ "$status" -eq 0 ] && echo "includes go app -> editor -> core"
exit "$status"
