#!/usr/bin/env bash
# Renders every page after a full read of the simulated exchange to
# docs/<page>.png for the README, and "Zuordnung" at twice the pixel density to
# docs/zuordnung-2x.png.
#
#   scripts/shots.sh [BUILD] [OUTDIR]      (defaults: build, docs)
set -euo pipefail
. "$(dirname "$0")/sim-lib.sh"
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
out=${2:-$src/docs}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/winvarno-shots.XXXXXX")
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
start_sim "$scratch" 1
sleep 3 # a few charge units for the "Gebühren" page

mkdir -p "$scratch/runtime"
chmod 700 "$scratch/runtime"
write_sim_settings "$scratch/config/WinVarno.INI" "$scratch/com1"
cat >>"$scratch/config/WinVarno.INI" <<INI

[Zeitpunkt1]
Zeit=0700
Datei=/home/anna/Anlage/Tag.vrn

[Zeitpunkt2]
Zeit=1830
Datei=/home/anna/Anlage/Nacht.vrn

[Tarife]
$(date -d "-5 months" +01.%m.%Y)=0,14
INI

# Scratch per-user directories: the user's own files stay untouched. The second run
# is a screen of twice the pixel density.
for scale in 1 2; do
    QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$scale XDG_CONFIG_HOME="$scratch/config" \
        XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime" \
        "$build/tools/shots/winvarno-shots" "$scratch/out$scale" "$scratch/config/WinVarno.INI"
done

mkdir -p "$out"
for f in "$scratch"/out1/*.png; do
    name=$(basename "$f" .png)
    name=${name#Tab}
    # "Parametrierung" is shown by its three sub-pages.
    [ "$name" = Parametrierung ] && continue
    cp "$f" "$out/$(tr '[:upper:]' '[:lower:]' <<<"$name").png"
done
cp "$scratch/out2/TabZuordnung.png" "$out/zuordnung-2x.png"
ls "$out"/*.png
