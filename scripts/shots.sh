#!/usr/bin/env bash
# Renders every page after a full read of the simulated exchange to
# docs/<page>.png for the README.
#
#   scripts/shots.sh [BUILD] [OUTDIR]      (defaults: build, docs)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
out=${2:-$src/docs}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/winvarno-shots.XXXXXX")
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
"$build/tools/varno-sim/varno-sim" --link "$scratch/com1" --charge-interval 1 >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -e "$scratch/com1" ] && break; sleep 0.05; done
sleep 3 # a few charge units for the "Gebühren" page

mkdir -p "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
cat >"$scratch/config/WinVarno.INI" <<INI
[Allgemein]
Anschluß=COM1
Kosten=0,12

[Schnittstellen]
COM1=$scratch/com1

[Bezeichnungen]
21=Empfang
22=Fax
23=Büro Chef
24=Buchhaltung
25=Lager
26=Werkstatt
27=Besprechung
28=Anrufbeantworter

[Zeitpunkt1]
Zeit=0700
Datei=/home/anna/Anlage/Tag.vrn

[Zeitpunkt2]
Zeit=1830
Datei=/home/anna/Anlage/Nacht.vrn
INI

# The port lookup reads the "Schnittstellen" section from the user's settings file.
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_RUNTIME_DIR="$scratch/runtime" \
    "$build/tools/shots/winvarno-shots" "$scratch/out" "$scratch/config/WinVarno.INI"

mkdir -p "$out"
for f in "$scratch"/out/*.png; do
    name=$(basename "$f" .png)
    name=${name#Tab}
    # "Parametrierung" is shown by its three sub-pages.
    [ "$name" = Parametrierung ] && continue
    cp "$f" "$out/$(tr '[:upper:]' '[:lower:]' <<<"$name").png"
done
ls "$out"/*.png
