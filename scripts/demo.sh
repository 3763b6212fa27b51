#!/usr/bin/env bash
# Starts WinVarno from a build tree.
set -euo pipefail
build=${1:-build}
exec "$build/src/WinVarno" "${@:2}"
