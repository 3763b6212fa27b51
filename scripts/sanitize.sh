#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the test suite there; any report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}
cd "$root" && cmake --preset asan -B "$build"
cmake --build "$build" -j"${JOBS:-2}"
# Qt keeps some allocations for the life of the process: leak reports would be its.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build" && ctest --output-on-failure -j"${JOBS:-2}"
