#!/usr/bin/env bash
# The whole CI run: the formatting check, the test suite, then the suite under ASan
# and UBSan, the transfer tests under TSan (a Release build), and each fuzz target
# for FUZZ_SECONDS (20); warnings are errors in all of them. Prints
# how long each step took, so a slow step shows before the time limit does.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
declare -a report
for step in format-check check sanitize tsan fuzz; do
    t0=$SECONDS
    echo "==== make $step"
    make "$step"
    report+=("$(printf '%-9s %4d s' "$step" $((SECONDS - t0)))")
done
echo "==== CI steps"
printf '%s\n' "${report[@]}"
echo "total     $((SECONDS - start)) s"
