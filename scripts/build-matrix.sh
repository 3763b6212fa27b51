#!/usr/bin/env bash
# Builds everything (tests included) in each build type with GCC and with clang,
# warnings as errors, each in build-matrix/<compiler>-<type>/. Slow: eight full
# builds; run it before a release or after raising a compiler.
#
#   scripts/build-matrix.sh [TYPE ...]     (default: Debug Release RelWithDebInfo MinSizeRel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
types=("$@")
[ ${#types[@]} -gt 0 ] || types=(Debug Release RelWithDebInfo MinSizeRel)
read -r -a compilers <<<"${COMPILERS:-g++ clang++-14}"
failed=()
mkdir -p "$root/build-matrix"
for cxx in "${compilers[@]}"; do
    command -v "$cxx" >/dev/null || { echo "build-matrix.sh: $cxx is missing" >&2; exit 2; }
    for type in "${types[@]}"; do
        case $cxx in g++*) name=gcc ;; *) name=clang ;; esac
        dir=$root/build-matrix/$name-$type
        echo "== $cxx $type"
        if cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
            -DCMAKE_BUILD_TYPE="$type" -DWINVARNO_WERROR=ON >"$dir.log" 2>&1 &&
            cmake --build "$dir" -j"${JOBS:-2}" -- -k 0 >>"$dir.log" 2>&1; then
            echo "   ok"
        else
            grep -E 'error|warning' "$dir.log" | head -20 >&2
            failed+=("$cxx $type")
        fi
    done
done
[ ${#failed[@]} -eq 0 ] || { printf 'build-matrix.sh: failed: %s\n' "${failed[@]}" >&2; exit 1; }
echo "build-matrix.sh: every build warning-free"
