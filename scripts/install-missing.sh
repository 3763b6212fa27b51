#!/usr/bin/env bash
# install-missing.sh PACKAGE...: installs those of the Debian packages that are not
# installed yet: as root directly, otherwise through sudo. Where sudo is missing or
# not allowed, it says what to run as root and fails, rather than leaving a build to
# stop later on a missing header.
set -euo pipefail

missing=()
for p in "$@"; do
    # Read whole, not piped into grep -q: with pipefail an early exit of grep could
    # count an installed package as missing.
    status=$(dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null || true)
    [[ $status == *" ok installed"* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root() { DEBIAN_FRONTEND=noninteractive "$@"; }
elif ! command -v sudo >/dev/null; then
    why="sudo is not installed"
elif sudo -n true 2>/dev/null || { [ -t 0 ] && sudo -v; }; then
    # sudo drops the environment, so the setting goes on its command line.
    as_root() { sudo DEBIAN_FRONTEND=noninteractive "$@"; }
else
    why="sudo does not let $(id -un) run commands as root here"
fi

if [ -n "${why:-}" ]; then
    cat >&2 <<EOF

They cannot be installed: $why.
As root (for instance after "su -"), run once:

    apt-get update && apt-get install -y ${missing[*]}

then run make again.
EOF
    exit 1
fi

as_root apt-get update
as_root apt-get install -y "${missing[@]}"
