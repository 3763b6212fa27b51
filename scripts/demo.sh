#!/usr/bin/env bash
# Starts WinVarno from a build tree. When the user's settings name no port, it runs
# against the simulated exchange on a pseudo-terminal with scratch settings, and
# stops the simulator when WinVarno ends.
set -euo pipefail
. "$(dirname "$0")/sim-lib.sh"
build=${1:-build}
shift || true
ini="${XDG_CONFIG_HOME:-$HOME/.config}/WinVarno.INI"

# Qt alone would abort with a message about platform plugins that does not say what to do.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "demo: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set):" >&2
    echo "      start it in a desktop session, or as QT_QPA_PLATFORM=offscreen make demo" >&2
    exit 1
fi

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

start_sim "$scratch" 3
write_sim_settings "$scratch/config/WinVarno.INI" "$scratch/com1"
echo "Demo: WinVarno against the simulated exchange on $(readlink "$scratch/com1")"
XDG_CONFIG_HOME="$scratch/config" "$build/src/WinVarno" ZYKLISCH "$@"
