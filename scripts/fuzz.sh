#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz/ and runs
# each for SECONDS (default 20) on its checked-in corpus, one after another.
# Fails on the first finding; the input that caused it lands in
# build-fuzz/findings/<target>/. New inputs the fuzzer finds stay in
# build-fuzz/corpus/<target>/, never in the checked-in seeds.
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
targets=(answer_store parameter_file ini_file charge_log charge_history avi packed)

for tool in clang-14 clang++-14; do
    command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is missing (apt-get install clang-14 libclang-rt-14-dev)" >&2; exit 2; }
done

(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" -j"${JOBS:-2}" --target winvarno_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

declare -A max_len=([charge_log]=12288 [charge_history]=8192 [avi]=8192)
for t in "${targets[@]}"; do
    work="$build/corpus/$t"
    findings="$build/findings/$t"
    mkdir -p "$work" "$findings"
    dirs=("$work" "$root/tests/fuzz/corpus/$t")
    [ -d "$root/tests/fuzz/regressions/$t" ] && dirs+=("$root/tests/fuzz/regressions/$t")
    log="$build/findings/$t.log"
    echo "== fuzz_$t for ${seconds}s"
    status=0
    "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]:-4096}" \
        -artifact_prefix="$findings/" -print_final_stats=1 "${dirs[@]}" >"$log" 2>&1 || status=$?
    grep -E '^(stat::|Done )' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "fuzz.sh: fuzz_$t found a fault (exit $status); see $findings/ and $log" >&2
        exit 1
    fi
done
echo "fuzz.sh: no findings"
