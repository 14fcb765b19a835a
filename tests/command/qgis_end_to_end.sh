#!/usr/bin/env bash
# Bramlotte in a real QGIS under a virtual display, used as a person would
# (drive_qgis.py), and every result compared with `bramlotte build` on the
# same maps (check_e2e.py). Skips (exit 77) without xvfb-run or qgis.bin.
#   qgis_end_to_end.sh CLI TOWN_GENERATOR SHOTS_DIR
# E2E_LARGE_STREETS sets the size of the large town (0 leaves it out);
# E2E_KEEP=DIR keeps a copy of the work folder (maps, outputs, logs) there.
set -euo pipefail
cli="$1"; town="$2"; shots="$3"
here="$(cd "$(dirname "$0")" && pwd)"
large="${E2E_LARGE_STREETS:-250000}"
python=/usr/bin/python3  # the system's, which has QGIS's Python modules
command -v xvfb-run >/dev/null && command -v qgis.bin >/dev/null || { echo "no xvfb-run or qgis.bin"; exit 77; }

work="$(mktemp -d)"
trap 'chmod -R u+w "$work"; [ -z "${E2E_KEEP:-}" ] || cp -r "$work/." "$E2E_KEEP"; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" E2E_WORK="$work" E2E_SHOTS="$shots"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
rm -rf "$shots" && mkdir -p "$shots"
seconds() { date +%s.%N; }

# The maps: one small town copied for QGIS and for the command line (the
# field output writes into it), and one large town both only read.
mkdir -p "$work/town" "$work/big"
"$town" "$work/town/town.gpkg" 400 --pages-field >/dev/null
QT_QPA_PLATFORM=offscreen "$python" "$here/make_e2e_project.py" "$work/town/town.gpkg" \
    "$work/town/atlas.qgz" --int-field pageno 2>/dev/null
for side in qgis cli; do
    cp -r "$work/town" "$work/$side"
    mkdir -p "$work/$side/out" "$work/$side/ro"
    # A folder nobody may write in, holding a file nobody may replace: root
    # passes the folder's mode bits, but Bramlotte refuses a file without
    # write bits to everyone.
    echo "an older index" >"$work/$side/ro/index_text.txt"
    chmod 444 "$work/$side/ro/index_text.txt"
    chmod 555 "$work/$side/ro"
    # The town with two page shapes nobody can read.
    cp "$work/$side/town.gpkg" "$work/$side/damaged.gpkg"
    ogrinfo -q "$work/$side/damaged.gpkg" -sql \
        "UPDATE pages SET geom = substr(geom, 1, 60) WHERE fid IN (3, 5)" >/dev/null
done
if [ "$large" -gt 0 ]; then
    "$town" "$work/big/town.gpkg" "$large" >"$work/big/summary.txt"
    QT_QPA_PLATFORM=offscreen "$python" "$here/make_e2e_project.py" "$work/big/town.gpkg" \
        "$work/big/atlas.qgz" 2>/dev/null
    mkdir -p "$work/big/out-qgis" "$work/big/out-cli"
fi

# The command line's results: the reference for everything QGIS shows.
ref="$work/cli"
run_cli() {  # NAME ARGS...: stdout, stderr and status kept under $ref/NAME.*
    local name="$1"; shift
    set +e
    QT_QPA_PLATFORM=offscreen "$cli" build "$ref/atlas.qgz" --layer1 pages --field1 PAGE \
        "$@" >"$ref/$name.out" 2>"$ref/$name.err"
    echo $? >"$ref/$name.status"
    set -e
}
QT_QPA_PLATFORM=offscreen "$cli" layers "$ref/atlas.qgz" >"$ref/layers.out"
streets=(--layer2 streets --field2 name)
run_cli text_file "${streets[@]}" --save-as "$ref/out/index_text"
run_cli text_overwrite "${streets[@]}" --save-as "$ref/out/index_text" --yes
run_cli csv_table "${streets[@]}" --output table --save-as "$ref/out/index_table"
run_cli tsv_table "${streets[@]}" --output table --delimiter tab --save-as "$ref/out/index_table"
run_cli read_only "${streets[@]}" --save-as "$ref/ro/index_text" --yes
run_cli relate_refused --layer2 pages --field2 PAGE --relationship CROSS --output window
run_cli field_output "${streets[@]}" --output field --output-field pages --yes
run_cli integer_field "${streets[@]}" --output field --output-field pageno --yes
run_cli layout "${streets[@]}" --output layout --columns 3 --save-project
run_cli window "${streets[@]}" --output window
run_cli processing_layout "${streets[@]}" --output layout --layout "Processing index" \
    --columns 4 --layout-fit --ranges --headings --save-project
set +e
QT_QPA_PLATFORM=offscreen "$cli" build "$ref/damaged.gpkg" --layer1 pages --field1 PAGE \
    "${streets[@]}" --save-as "$ref/out/index_damaged" >"$ref/damaged.out" 2>"$ref/damaged.err"
set -e
if [ "$large" -gt 0 ]; then
    for n in 1 2; do  # the better of two runs, as for the build in QGIS
        rm -f "$work/big/out-cli/index.txt"
        t0=$(seconds)
        QT_QPA_PLATFORM=offscreen "$cli" build "$work/big/atlas.qgz" --layer1 pages \
            --field1 PAGE "${streets[@]}" --save-as "$work/big/out-cli/index" >/dev/null
        echo "$t0 $(seconds)" >>"$work/big/cli-times.txt"
        # What any run pays before it builds: start, and the map opened.
        t0=$(seconds)
        QT_QPA_PLATFORM=offscreen "$cli" layers "$work/big/atlas.qgz" >/dev/null
        echo "$t0 $(seconds)" >>"$work/big/cli-start.txt"
    done
fi

# QGIS with the plugin registered for a throwaway user, no tips, no version
# check, openbox for real window placement and focus; the driver leaves by
# itself, its watchdog or this timeout.
ini="$HOME/.local/share/QGIS/QGIS3/profiles/default/QGIS/QGIS3.ini"
mkdir -p "$(dirname "$ini")"
printf '[qgis]\nshowTips322=false\ncheckVersion=false\n' >"$ini"
"$cli" register >/dev/null
cd "$work/qgis"  # where the save dialogs open
set +e
env -u QT_QPA_PLATFORM timeout 300 xvfb-run -a -s "-screen 0 1280x800x24" \
    sh -c 'openbox >/dev/null 2>&1 & exec qgis.bin --nologo --code "$0" "$1"' \
    "$here/drive_qgis.py" "$work/qgis/atlas.qgz" >"$work/qgis.log" 2>&1
status=$?
set -e
cd "$work"
[ -f "$work/result.json" ] || { echo "QGIS (status $status) left no record"; tail -30 "$work/qgis.log"; exit 1; }

echo "screenshots: $shots"
QT_QPA_PLATFORM=offscreen "$python" "$here/check_e2e.py" "$work" || {
    echo "--- QGIS log (status $status)"; tail -30 "$work/qgis.log"; exit 1; }
"$cli" unregister >/dev/null
# Unregistered, the profile no longer names the plugin or its folder (what
# Processing keeps of its runs may still name the algorithms).
! grep -qE "libbramlotteplugin|searchPathsForPlugins=.*/plugin" "$ini"
