#!/usr/bin/env bash
# unit_test.sh UNIT PROGRAM: the user unit as systemd-analyze verify sees it, its
# ExecStart pointed at the build's program (the installed one, with its manual page,
# is verified by scripts/package-test.sh). Skipped without systemd-analyze.
set -euo pipefail
unit=$1
program=$2
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: skipped"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sed "s|^ExecStart=/usr/bin/winvarnod\$|ExecStart=$program|" "$unit" >"$tmp/winvarnod.service"
grep -qx "ExecStart=$program" "$tmp/winvarnod.service" || { echo "no ExecStart=/usr/bin/winvarnod" >&2; exit 1; }
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$tmp}
if ! out=$(systemd-analyze --user verify --man=no "$tmp/winvarnod.service" 2>&1) || [ -n "$out" ]; then
    echo "systemd-analyze verify: $out" >&2
    exit 1
fi
echo "unit_test: systemd-analyze --user verify finds nothing"
