#!/usr/bin/env bash
# Runs the whole test suite once under Valgrind's memcheck (not part of every CI run: it
# takes long). Uses a RelWithDebInfo build without sanitizers in build/memcheck and short
# validator and soak runs. Any memcheck error fails the test that caused it.
#
#   scripts/memcheck.sh              every test
#   scripts/memcheck.sh -R validator only the tests whose names match (ctest arguments)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/memcheck"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_BENCH=OFF \
  -DMEMORYCHECK_COMMAND=/usr/bin/valgrind \
  "-DMEMORYCHECK_COMMAND_OPTIONS=--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --track-origins=yes --suppressions=$root/scripts/memcheck.supp --gen-suppressions=all" \
  >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
export QD_SOAK_SECONDS=${QD_SOAK_SECONDS:-5}
export QD_VALIDATOR_SCALE=1
ctest --test-dir "$build" -T memcheck -j "$(nproc 2>/dev/null || echo 2)" --timeout 7200 "$@"
# ctest's memcheck step counts defects per test; any defect fails the run.
if grep -l "Defects" "$build"/Testing/Temporary/MemoryChecker.*.log >/dev/null 2>&1; then
  if grep -h "^==[0-9]*== [A-Z].*\(Invalid\|uninitialised\|definitely lost\)" \
      "$build"/Testing/Temporary/MemoryChecker.*.log | head -20 | grep -q .; then
    echo "memcheck: errors found (see $build/Testing/Temporary/MemoryChecker.*.log)"
    exit 1
  fi
fi
echo "memcheck: no errors"
