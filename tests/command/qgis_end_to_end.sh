#!/usr/bin/env bash
# In a real QGIS under a virtual display: register the plugin for a private
# user, open a map, click Quillmere > Bramlotte, and check that the index
# dialog lists the map's layers. Skips (exit 77) without xvfb-run or QGIS.
set -euo pipefail
cli="$1"; driver="$2"; map="$3"
command -v xvfb-run >/dev/null && command -v qgis.bin >/dev/null || { echo "no xvfb-run or qgis.bin"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" BRAMLOTTE_E2E_DIR="$work" XDG_RUNTIME_DIR="$work/run"
unset QT_QPA_PLATFORM  # QGIS needs the virtual display, not the offscreen platform
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$cli" register
timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" qgis.bin --nologo --code "$driver" "$map" \
    >"$work/qgis.log" 2>&1 || true
cat "$work/result.json" || { tail -20 "$work/qgis.log"; exit 1; }
echo
python3 - "$work/result.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["actions"] == 1, r
assert ["Bramlotte"] in r["menus"], r
assert r["status"] == "Quillmere: http://www.quillmere.example", r
assert r["dialogs"] >= 1, r
assert r["title"] == "Bramlotte", r
names = [n.split(" — ")[-1] for n in r["layers"]]
assert names == ["streets", "pages"], r
print("QGIS showed the index dialog with", r["layers"])
PY
"$cli" unregister
! grep -q bramlotte "$HOME/.local/share/QGIS/QGIS3/profiles/default/QGIS/QGIS3.ini"
