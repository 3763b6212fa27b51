#!/usr/bin/env bash
# install_missing_test.sh SCRIPT: runs scripts/install-missing.sh against fake
# dpkg-query, id, sudo and apt-get, as root, as a user with sudo and as users without.
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
bin=$tmp/bin
mkdir -p "$bin"

# Package states, one "name status" a line; a package not listed is unknown.
cat >"$tmp/status" <<'EOF'
a install ok installed
b install ok installed
c deinstall ok config-files
EOF
cat >"$bin/dpkg-query" <<EOF
#!$BASH
while read -r name status; do
    [ "\$name" = "\${!#}" ] && { echo "\$status"; exit 0; }
done <"$tmp/status"
echo "dpkg-query: no packages found matching \${!#}" >&2
exit 1
EOF
cat >"$bin/id" <<'EOF'
#!/bin/sh
case $1 in -u) echo "$FAKE_UID" ;; -un) echo tester ;; esac
EOF
cat >"$bin/apt-get" <<EOF
#!$BASH
echo "DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-} apt-get \$*" >>"$tmp/log"
exit \${APT_RC:-0}
EOF
# Like the real one: it may refuse, and the command runs without the caller's environment.
cat >"$bin/sudo.allowed" <<EOF
#!$BASH
case \$1 in -n | -v) exit \$SUDO_RC ;; esac
echo "sudo \$*" >>"$tmp/log"
exec env -i PATH="\$PATH" "\$@"
EOF
chmod +x "$bin/dpkg-query" "$bin/id" "$bin/apt-get" "$bin/sudo.allowed"
ln -s "$(command -v cat)" "$bin/cat"
ln -s "$(command -v env)" "$bin/env"

failures=0
# run UID SUDO_RC: runs the script for packages a c d with the output in $out and
# the commands run in $log; SUDO_RC "none" means there is no sudo.
run() {
    rm -f "$tmp/log" "$bin/sudo"
    [ "$2" = none ] || ln -s sudo.allowed "$bin/sudo"
    set +e
    out=$(FAKE_UID=$1 SUDO_RC=$2 PATH="$bin" "$BASH" "$script" a c d 2>&1 </dev/null)
    rc=$?
    set -e
    log=$(cat "$tmp/log" 2>/dev/null || true)
}
expect() { # expect WHAT CONDITION...
    local what=$1
    shift
    if ! "$@"; then
        echo "FAIL: $what"
        echo "  exit status $rc; output: $out"
        echo "  commands: $log"
        failures=$((failures + 1))
    fi
}
has() { [[ $1 == *"$2"* ]]; }

run 0 none
expect "root installs what is missing, non-interactively" [ "$rc" = 0 ]
expect "root: update, then the config-files and unknown packages only" [ "$log" = \
    "DEBIAN_FRONTEND=noninteractive apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y c d" ]

APT_RC=100 run 0 none
expect "a failing apt-get fails the run" [ "$rc" != 0 ]
unset APT_RC

run 1000 0
expect "a user with sudo installs through it" [ "$rc" = 0 ]
expect "the frontend setting survives sudo" [ "$log" = \
    "sudo DEBIAN_FRONTEND=noninteractive apt-get update
DEBIAN_FRONTEND=noninteractive apt-get update
sudo DEBIAN_FRONTEND=noninteractive apt-get install -y c d
DEBIAN_FRONTEND=noninteractive apt-get install -y c d" ]

for sudo_rc in 1 none; do
    run 1000 $sudo_rc
    expect "without sudo ($sudo_rc) it fails" [ "$rc" = 1 ]
    expect "without sudo ($sudo_rc) nothing is run" [ -z "$log" ]
    expect "without sudo ($sudo_rc) it names the command for root" \
        has "$out" "apt-get update && apt-get install -y c d"
done
expect "it says why" has "$out" "sudo is not installed"

sed -i 's/deinstall ok config-files/install ok installed/' "$tmp/status"
echo "d install ok installed" >>"$tmp/status"
run 1000 none
expect "with nothing missing it needs no root and runs nothing" [ "$rc" = 0 ]
expect "with nothing missing nothing is run" [ -z "$log$out" ]

[ "$failures" = 0 ] && echo "install-missing: all cases passed"
exit $((failures > 0))
