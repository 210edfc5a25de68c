#!/usr/bin/env bash
# Installs what is missing, then builds a release tree, an AddressSanitizer +
# UndefinedBehaviorSanitizer tree and a ThreadSanitizer tree; runs the Windows build and its
# checks under Wine (scripts/build-windows.sh; QD_WINDOWS=0 skips it) and each libFuzzer
# target for a minute; then the whole suite in the release and sanitizer trees and the tests
# labelled `tsan` (threads handing data over), so the run ends with CTest's summaries.
# Warnings are errors when CI=true. Build trees go to build/release, build/asan, build/tsan.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/install-deps.sh"

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {
  local name=$1; shift
  cmake -S "$root" -B "$root/build/$name" -G Ninja -DQD_WERROR=$werror "$@"
  cmake --build "$root/build/$name" -j "$jobs"
}

configure_and_build release -DCMAKE_BUILD_TYPE=Release
configure_and_build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_SANITIZE=ON -DQD_BENCH=OFF
# ThreadSanitizer: only the test programs that carry tsan-labelled tests.
tsan_targets=(graphics_handover_tests graphics_x11_handover_tests validator_thread_tests
  validator_aax_thread_tests)
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DQD_WERROR=$werror \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_TSAN=ON -DQD_BENCH=OFF
cmake --build "$root/build/tsan" -j "$jobs" --target "${tsan_targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

status=0
# The Windows deliverables, cross-built, and their checks under Wine against build/release.
# QD_WINDOWS=0 leaves this stage out.
if [ "${QD_WINDOWS:-1}" != "0" ]; then
  echo "== Windows build (mingw-w64) and its checks under Wine"
  windows_start=$(date +%s)
  if "$root/scripts/build-windows.sh" &&
    "$root/scripts/windows/wine-tests.sh" "$root/build/windows" "$root/build/release"; then
    echo "Windows stage: $(($(date +%s) - windows_start)) s"
  else
    status=1
  fi
fi
# libFuzzer targets, each for a bounded time (QD_FUZZ_SECONDS, a minute by default),
# built with clang in build/fuzz; scripts/fuzz.sh runs them for longer.
echo "== fuzz targets: ${QD_FUZZ_SECONDS:-60} s each"
"$root/scripts/fuzz.sh" --seconds "${QD_FUZZ_SECONDS:-60}" || status=1
echo "== release build: tests"
ctest --test-dir "$root/build/release" --output-on-failure -j "$jobs" || status=1
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build: tests"
ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs" || status=1
echo "== ThreadSanitizer build: tests labelled tsan"
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
  ctest --test-dir "$root/build/tsan" --output-on-failure -j "$jobs" -L tsan || status=1
exit $status
