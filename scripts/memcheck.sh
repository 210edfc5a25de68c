#!/usr/bin/env bash
# Runs the whole test suite once under Valgrind's memcheck (not part of every CI run: it
# takes long). Uses a RelWithDebInfo build without sanitizers in build/memcheck, time limits
# twenty times the usual, and short validator (a tenth of the CI run) and soak runs. Any
# memcheck error fails the test that caused it.
#
# Left out: the tests that count allocations (they replace the global allocation functions,
# which Valgrind replaces with its own, so their counts and pairings mean nothing there),
# the one that checks real-time pace, and the soak runs in flush-to-zero mode (Valgrind does
# not model the processor's flush-to-zero and denormals-are-zero bits).
#
#   scripts/memcheck.sh              every test
#   scripts/memcheck.sh -R validator only the tests whose names match (ctest arguments)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/memcheck"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_BENCH=OFF \
  -DQD_TEST_TIMEOUT_FACTOR=20 \
  -DMEMORYCHECK_COMMAND=/usr/bin/valgrind \
  "-DMEMORYCHECK_COMMAND_OPTIONS=--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --track-origins=yes --keep-debuginfo=yes --suppressions=$root/scripts/memcheck.supp --gen-suppressions=all" \
  >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
export QD_SOAK_SECONDS=${QD_SOAK_SECONDS:-5}
export QD_VALIDATOR_SCALE=${QD_VALIDATOR_SCALE:-0.1}
not_under_valgrind='AllocatesNothing|AllocateNothing|^ThreadHandover\.|RealTimePace|FlushToZero'
status=0
rm -f "$build"/Testing/Temporary/MemoryChecker.*.log  # a log of an earlier run is no verdict
ctest --test-dir "$build" -T memcheck -j "$(nproc 2>/dev/null || echo 2)" --timeout 7200 \
  -E "$not_under_valgrind" "$@" || status=1
# Valgrind exits with 99 on any error, which fails the test; the logs say which.
errors=$(grep -l "ERROR SUMMARY: [1-9]" "$build"/Testing/Temporary/MemoryChecker.*.log 2>/dev/null || true)
if [ -n "$errors" ]; then
  echo "memcheck: errors in"
  echo "$errors"
  status=1
fi
if [ $status -eq 0 ]; then echo "memcheck: no errors"; else echo "memcheck: FAILED"; fi
exit $status
