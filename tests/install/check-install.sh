#!/usr/bin/env bash
# The program installed as a desktop application, as a user or a distribution would install
# it: the install tree holds the program, its desktop entry, icons, metadata and manual page and
# nothing else; the desktop's own validators accept them; CPack makes a Debian package of the
# same files, and the program unpacked from it runs, exporting a map without a display.
#
#   check-install.sh <build folder> <make-demo-data> <version>
#
# Every step runs even when an earlier one failed (as far as its inputs are there); the steps
# that failed are named at the end.
set -uo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <build folder> <make-demo-data> <version>" >&2
    exit 2
fi
build="$1"
make_demo_data="$2"
version="$3"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The programs run here keep their runtime files, data, settings and caches in the temporary
# folder, whoever runs the check.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/home/data" \
    XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

id=org.valdrune.StructurePlacer
sizes=(16 22 24 32 48 64 128 256)
# Every file the install puts under its prefix, and nothing else.
expected_files() {
    {
        echo "bin/valdrune-placer"
        echo "share/applications/$id.desktop"
        echo "share/icons/hicolor/scalable/apps/$id.svg"
        for size in "${sizes[@]}"; do
            echo "share/icons/hicolor/${size}x$size/apps/$id.png"
        done
        echo "share/man/man1/valdrune-placer.1"
        echo "share/metainfo/$id.metainfo.xml"
    } | LC_ALL=C sort
}

failed=()
step=""
begin() {
    step="$1"
    echo "== $step"
}
fail() {
    echo "FAILED ($step): $*"
    failed+=("$step")
}
# Shows a file indented, for the reasons behind a failure.
show() { sed 's/^/   | /' "$1"; }

is_png() { [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ]; }
# "<width>x<height>" of a PNG, from its header.
png_size() {
    local b
    b=($(od -An -tu1 -j16 -N8 "$1"))
    [ ${#b[@]} -eq 8 ] || return 1
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) |
        (b[6] << 8) | b[7]))"
}

# --- cmake --install ---------------------------------------------------------------------------
root="$work/root"
begin "cmake --install"
if ! cmake --install "$build" --prefix "$root" >"$work/install.log" 2>&1; then
    fail "cmake --install failed:"
    show "$work/install.log"
fi
expected_files >"$work/expected"
(cd "$root" 2>/dev/null && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed"
if ! diff -u "$work/expected" "$work/installed" >"$work/diff"; then
    fail "the install tree does not hold exactly the expected files (- missing, + extra):"
    show "$work/diff"
fi
[ -x "$root/bin/valdrune-placer" ] || fail "bin/valdrune-placer is not executable"
for size in "${sizes[@]}"; do
    png="$root/share/icons/hicolor/${size}x$size/apps/$id.png"
    [ -f "$png" ] || continue
    if ! is_png "$png" || [ "$(png_size "$png")" != "${size}x$size" ]; then
        fail "$png is not a ${size}x$size PNG image"
    fi
done
svg="$root/share/icons/hicolor/scalable/apps/$id.svg"
[ ! -f "$svg" ] || grep -q '<svg' "$svg" || fail "$svg is no SVG image"

# --- the desktop entry -------------------------------------------------------------------------
desktop="$root/share/applications/$id.desktop"
begin "desktop-file-validate"
if [ -f "$desktop" ]; then
    # It prints hints even when it accepts a file: none are expected.
    if ! desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 ||
        [ -s "$work/desktop.log" ]; then
        fail "desktop-file-validate did not accept the desktop entry:"
        show "$work/desktop.log"
    fi
    grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
    grep -qx "Exec=valdrune-placer %f" "$desktop" ||
        fail "the desktop entry does not start valdrune-placer"
else
    fail "no desktop entry installed"
fi

# --- the AppStream metadata --------------------------------------------------------------------
metainfo="$root/share/metainfo/$id.metainfo.xml"
begin "appstreamcli validate"
if [ -f "$metainfo" ]; then
    status=0
    appstreamcli validate --no-net --no-color "$metainfo" >"$work/appstream.log" 2>&1 ||
        status=$?
    # Remarks read "W: <component>:<line>: <tag> <hint>". The repository declares no licence for
    # the program: a remark about the missing project licence is the only one accepted.
    others="$(awk '$1 ~ /^[EWIP]:$/ { print $3 }' "$work/appstream.log" |
        grep -v 'project-license' || true)"
    if [ "$status" -ne 0 ] || [ -n "$others" ]; then
        fail "appstreamcli did not accept the metadata (exit status $status):"
        show "$work/appstream.log"
    fi
    grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not launch $id.desktop"
    if grep -q '<project_license>' "$metainfo"; then
        fail "the metadata names a project licence"
    fi
    newest="$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)"
    [ "$newest" = "$version" ] ||
        fail "the newest release in the metadata is '$newest', not $version"
else
    fail "no metadata installed"
fi

# --- the manual page ---------------------------------------------------------------------------
page="$root/share/man/man1/valdrune-placer.1"
begin "man --warnings=w"
if [ -f "$page" ]; then
    if ! LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings=w -l "$page" >"$work/man.txt" \
        2>"$work/man-warnings.txt" || [ -s "$work/man-warnings.txt" ]; then
        fail "man did not render the page without warnings:"
        show "$work/man-warnings.txt"
    fi
    for text in --export --version --help VALDRUNE_AUTOSAVE_MS dunmarra.xml \
        .local/share/valdrune-placer/recovery "EXIT STATUS" "Valdrune Structure Placer $version"
    do
        grep -qF -- "$text" "$work/man.txt" || fail "the rendered page does not mention $text"
    done
else
    fail "no manual page installed"
fi

# --- the Debian package ------------------------------------------------------------------------
begin "cpack -G DEB"
deb=""
if cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1
then
    debs=("$work"/package/valdrune-placer_"$version"_*.deb)
    if [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; then
        deb="${debs[0]}"
    else
        fail "cpack made no valdrune-placer_${version}_<architecture>.deb, but:"
        ls "$work/package" | sed 's/^/   | /'
    fi
else
    fail "cpack failed:"
    show "$work/cpack.log"
fi

begin "dpkg-deb --contents"
if [ -n "$deb" ]; then
    # Lines read "-rw-r--r-- root/root 123 2026-12-08 12:00 ./usr/...": the regular files, with
    # /usr/ taken off, are the files installed under a prefix.
    dpkg-deb --contents "$deb" >"$work/contents.txt"
    awk '$1 ~ /^-/ { sub(/^\.\/usr\//, "", $6); print $6 }' "$work/contents.txt" |
        LC_ALL=C sort >"$work/packaged"
    if ! diff -u "$work/expected" "$work/packaged" >"$work/diff"; then
        fail "the package does not hold exactly the expected files in /usr (- missing, + extra):"
        show "$work/diff"
    fi
    if awk '$6 != "./" && $6 !~ /^\.\/usr\// { found = 1 } END { exit !found }' \
        "$work/contents.txt"; then
        fail "the package holds files outside /usr:"
        show "$work/contents.txt"
    fi
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = valdrune-placer ] || fail "the package is not named valdrune-placer"
    [ "$(field Version)" = "$version" ] || fail "the package's version is not $version"
    [ "$(field Section)" = graphics ] || fail "the package's section is not graphics"
    [ -n "$(field Maintainer)" ] || fail "the package has no maintainer"
    [ -n "$(field Description)" ] || fail "the package has no description"
    # dpkg-shlibdeps found the libraries that the program links.
    depends="$(field Depends)"
    for library in libqt6widgets6 libqt6core6 libc6; do
        [[ "$depends" == *"$library"* ]] ||
            fail "the package does not depend on $library: $depends"
    done
fi

# --- the program from the package --------------------------------------------------------------
unpacked="$work/unpacked"
program="$unpacked/usr/bin/valdrune-placer"
[ -z "$deb" ] || dpkg-deb -x "$deb" "$unpacked"

begin "valdrune-placer --version"
if [ -x "$program" ]; then
    status=0
    QT_QPA_PLATFORM=offscreen "$program" --version >"$work/version.txt" 2>&1 </dev/null ||
        status=$?
    if [ "$status" -ne 0 ] || ! grep -qF "Valdrune Structure Placer" "$work/version.txt" ||
        ! grep -qE "(^|[^0-9.])${version//./\\.}\.?([^0-9.]|\$)" "$work/version.txt"; then
        fail "--version exited with $status; it should exit with 0 and print" \
            "'Valdrune Structure Placer' and $version:"
        show "$work/version.txt"
    fi
else
    fail "no program unpacked from the package"
fi

begin "valdrune-placer --export"
demo="$work/demo"
if [ -x "$program" ]; then
    # The unpacked program reads dunmarra.xml next to itself, as an installed one does.
    if ! QT_QPA_PLATFORM=offscreen "$make_demo_data" "$demo" "$unpacked/usr/bin/dunmarra.xml" \
        >"$work/demo.log" 2>&1; then
        fail "make-demo-data failed:"
        show "$work/demo.log"
    else
        image="$work/export.png"
        status=0
        # No display of any kind: an export needs none.
        (cd "$demo" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
            "$program" --export "$image" "$demo/example-map.xml") >"$work/export.log" 2>&1 ||
            status=$?
        terrain_size="$(png_size "$demo/terrain.png")"
        if [ "$status" -ne 0 ]; then
            fail "--export exited with $status:"
            show "$work/export.log"
        elif [ ! -f "$image" ] || ! is_png "$image"; then
            fail "--export wrote no PNG image"
        elif [ "$(png_size "$image")" != "$terrain_size" ]; then
            fail "the exported image is $(png_size "$image"), not $terrain_size as the terrain"
        fi
    fi
else
    fail "no program unpacked from the package"
fi

echo
if [ ${#failed[@]} -gt 0 ]; then
    echo "install check failed in: $(printf '%s\n' "${failed[@]}" | awk '!seen[$0]++' |
        paste -sd ';' | sed 's/;/; /g')"
    exit 1
fi
echo "install check passed: the install tree, its validators, the package and the program from it"
