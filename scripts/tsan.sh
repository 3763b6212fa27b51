#!/usr/bin/env bash
# Builds the serial component, the simulated exchange and the transfer tests with
# ThreadSanitizer in build-tsan/ and runs them there; any report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tsan}
tests=(serial_tests sim_tests e2e_transfer_test e2e_fault_test)
cd "$root" && cmake --preset tsan -B "$build"
cmake --build "$build" -j"${JOBS:-2}" --target "${tests[@]}"
# Qt is not built with TSan: its own hand-offs (futex mutexes, D-Bus thread) are
# invisible, so only accesses made by our code count. Synchronisation Qt does
# through pthreads and file descriptors is still seen.
# Reports go to files, so that a test repeated below can never hide one.
reports=$build/tsan-report
rm -f "$reports".*
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:log_path=$reports}
# Ending by signal, and the FIFO in each user file's place, start the whole program
# as a child process; TSan refuses a child of a threaded process that starts a
# thread, and those tests are about processes, not threads: they run in the
# ordinary suite.
export GTEST_FILTER=${GTEST_FILTER:--Signals/*:Places/*}
pattern=$(IFS='|'; echo "^(${tests[*]})\$")
# Under TSan the program runs several times slower, and a test's wait for the
# simulator now and then runs out: a test fails only when it fails twice.
status=0
(cd "$build" && ctest --output-on-failure -j"${JOBS:-2}" -R "$pattern" --repeat until-pass:2) || status=$?
if compgen -G "$reports.*" >/dev/null; then
    cat "$reports".* >&2
    echo "tsan.sh: ThreadSanitizer reported the above" >&2
    exit 1
fi
exit "$status"
