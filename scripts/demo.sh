#!/usr/bin/env bash
# Starts WinVarno from a build tree. When the user's settings name no port, it runs
# against the simulated exchange on a pseudo-terminal with scratch settings, and
# stops the simulator when WinVarno ends.
set -euo pipefail
build=${1:-build}
shift || true
ini="${XDG_CONFIG_HOME:-$HOME/.config}/WinVarno.INI"

if [ -f "$ini" ] && grep -aiqE '^[[:space:]]*Anschlu(ß|\xdf)[[:space:]]*=[[:space:]]*COM[1-4][[:space:]]*$' "$ini"; then
    echo "Using the port named in $ini"
    exec "$build/src/WinVarno" "$@"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/winvarno-demo.XXXXXX")
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

"$build/tools/varno-sim/varno-sim" --link "$scratch/com1" --charge-interval 3 >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -e "$scratch/com1" ] && break; sleep 0.05; done

mkdir -p "$scratch/config"
cat > "$scratch/config/WinVarno.INI" <<INI
[Allgemein]
Anschluß=COM1
Kosten=0,12
Wartezeit=1

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
INI
echo "Demo: WinVarno against the simulated exchange on $(readlink "$scratch/com1")"
XDG_CONFIG_HOME="$scratch/config" "$build/src/WinVarno" ZYKLISCH "$@"
