#!/usr/bin/env bash
# The Debian package as a machine gets it: made by CPack, installed with
# dpkg, then QGIS started under a virtual display with a fresh profile that
# never registered the plugin, where the plugin must load from QGIS's own
# folder and its Processing algorithms must run (tests/packaging/
# check_installed.py); qgis_process must list them, and `bramlotte demo`
# must run from the installed program. The package is removed at the end,
# also after a failure. Needs root or sudo, and no bramlotte package
# installed before.
#   scripts/package_check.sh [SHOTS_DIR]   (default: build/package-shots)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
shots="${1:-$build/package-shots}"
python=/usr/bin/python3  # the system's, which has QGIS's Python modules
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

bash "$root/scripts/build.sh"
if dpkg-query -W -f='${Status}' bramlotte 2>/dev/null | grep -q "install ok installed"; then
    echo "package_check: a bramlotte package is installed already; remove it first" >&2
    exit 1
fi

work="$(mktemp -d)"
installed=""
cleanup() {
    [ -z "$installed" ] || $sudo dpkg -r bramlotte >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PKG_WORK="$work" PKG_SHOTS="$shots"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
rm -rf "$shots" && mkdir -p "$shots"
fail() { echo "package_check: $*" >&2; exit 1; }

# The package, its dependencies as dpkg-shlibdeps found them.
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb="$(ls "$work"/package/bramlotte_*.deb)"
dpkg-deb -f "$deb" Package Version Depends
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$'
$sudo dpkg -i "$deb" >/dev/null
installed=1

# The installed program, with its own town generator.
command -v bramlotte | grep -qx /usr/bin/bramlotte || fail "bramlotte is not /usr/bin/bramlotte"
(cd "$work" && QT_QPA_PLATFORM=offscreen bramlotte demo demo)
for f in demo-town.gpkg demo-town-indexed.gpkg index.txt index.csv index.pdf; do
    [ -s "$work/demo/$f" ] || fail "bramlotte demo left no $f"
done

# QGIS with a profile of its own making: no [Plugins] switch, no search path.
ini="$HOME/.local/share/QGIS/QGIS3/profiles/default/QGIS/QGIS3.ini"
mkdir -p "$(dirname "$ini")"
printf '[qgis]\nshowTips322=false\ncheckVersion=false\n' >"$ini"
set +e
env -u QT_QPA_PLATFORM timeout 180 xvfb-run -a -s "-screen 0 1280x800x24" \
    sh -c 'openbox >/dev/null 2>&1 & exec qgis.bin --nologo --code "$0"' \
    "$root/tests/packaging/check_installed.py" >"$work/qgis.log" 2>&1
status=$?
set -e
[ -f "$work/result.json" ] || { tail -30 "$work/qgis.log"; fail "QGIS (status $status) left no record"; }
"$python" - "$work/result.json" <<'PY' || { tail -30 "$work/qgis.log"; exit 1; }
import json, sys
r = json.load(open(sys.argv[1]))
checks = [
    ("no failure inside QGIS", "error" not in r),
    ("the plugin loaded from QGIS's folder",
     r.get("libraries") == ["/usr/lib/qgis/plugins/libbramlotteplugin.so"]),
    ("its menu action", r.get("actions") == ["Quillmere.Bramlotte"]),
    ("its algorithms", r.get("algorithms") == ["bramlotte:buildlocationindex",
                                               "bramlotte:makepagegrid",
                                               "bramlotte:makestreetatlas"]),
    ("the toolbox lists them under Bramlotte",
     r.get("toolbox") == ["Build location index", "Make page grid", "Make street atlas"]),
    ("the dialog's run wrote the index", r.get("index_written") is True),
    ("the model is valid", r.get("model_valid") is True),
]
for what, ok in checks:
    print(("ok    " if ok else "FAIL  ") + what)
if "error" in r:
    print(r["error"])
sys.exit(0 if all(ok for _, ok in checks) else 1)
PY
cmp "$work/qgis-index.txt" "$work/demo/index.txt" || fail "the index built in QGIS differs from the demo's"

# qgis_process, which loads no C++ plugins, has the algorithms too.
QT_QPA_PLATFORM=offscreen qgis_process.bin list 2>/dev/null | grep -q "bramlotte:buildlocationindex" ||
    fail "qgis_process does not list the algorithms"

# Removed, nothing is left behind.
$sudo dpkg -r bramlotte >/dev/null
installed=""
for f in /usr/bin/bramlotte /usr/lib/qgis/plugins/libbramlotteplugin.so \
    /usr/share/QGIS/QGIS3/startup.py; do
    [ ! -e "$f" ] || fail "$f is left after removal"
done
echo "package_check: ok; screenshots in $shots"
