#!/usr/bin/env bash
# check_layers_test.sh SCRIPT: scripts/check-layers.sh on a small tree of two
# layers, first sound, then with each kind of fault it must refuse.
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src/low" "$tmp/src/high"
printf '#pragma once\n#include <QString>\n' >"$tmp/src/low/Low.h"
printf '#include "high/High.h"\n#include "low/Low.h"\n#include <QtCore/QObject>\n' >"$tmp/src/high/High.cpp"
printf 'core low Qt6::Core\ngui high winvarno_layer_low Qt6::Widgets\n' >"$tmp/layers.txt"

expect_pass() {
    "$script" "$tmp/src" "$tmp/layers.txt" >/dev/null 2>&1 || { echo "refused: $1" >&2; exit 1; }
}
expect_fail() { # what it must say
    if out=$("$script" "$tmp/src" "$tmp/layers.txt" 2>&1); then
        echo "passed, but $1" >&2
        exit 1
    fi
    grep -qF "$2" <<<"$out" || { echo "no \"$2\" in: $out" >&2; exit 1; }
}

expect_pass "a sound tree"
printf '#include "high/High.h"\n' >>"$tmp/src/low/Low.h"
expect_fail "low includes high" "src/low/Low.h:3: low includes high/High.h from high, a layer above it"
printf '#pragma once\n #  include "../high/High.h"\n' >"$tmp/src/low/Low.h"
expect_fail "a relative include" "includes ../high/High.h by a relative path"
printf '#pragma once\n' >"$tmp/src/low/Low.h"
mkdir "$tmp/src/stray"
expect_fail "a folder outside the layers" "src/stray: a folder that is no layer"
rmdir "$tmp/src/stray"
printf 'core low Qt6::Core Qt6::DBus PkgConfig::SYSTEMD\ngui high winvarno_layer_low\n' >"$tmp/layers.txt"
expect_pass "a core layer with D-Bus and libsystemd"
printf 'core low Qt6::Core Qt6::Gui\ngui high winvarno_layer_low\n' >"$tmp/layers.txt"
expect_fail "a core layer links Qt Gui" "core layer low links Qt6::Gui"
printf 'core low winvarno_layer_high\ngui high\n' >"$tmp/layers.txt"
expect_fail "a link goes up" "layer low links winvarno_layer_high, which is not below it"
printf 'gui high\ncore low\n' >"$tmp/layers.txt"
expect_fail "core above gui" "layer low: a core layer above a gui layer"
echo "check_layers_test: all cases as expected"
