#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer + UndefinedBehavior-
# Sanitizer, every library instrumented) in build/fuzz and runs each one for a while.
#
#   scripts/fuzz.sh                      every target for 10 minutes
#   scripts/fuzz.sh --seconds 60         every target for a minute (the CI stage)
#   scripts/fuzz.sh --seconds 3600 png   one target for an hour
#   scripts/fuzz.sh --seeds              rewrite the seed corpora from the plug-in's output
#
# The committed corpus in fuzz/corpus/<target> is read, never written: inputs found during
# the run go to build/fuzz/corpus/<target>, and any crash to build/fuzz/artifacts/. A crash
# fails the run; once fixed, copy its input into fuzz/corpus/<target>/ as regress-<fault>.
# Each target's line "<target>: N runs in T s" is the count of executions.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/fuzz"

seconds=600
seeds=false
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --seeds) seeds=true; shift ;;
    -h|--help) sed -n '2,15p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

# Warnings are held to -Werror by the gcc builds of scripts/test.sh; this clang build
# exists to fuzz, so its warnings do not stop it.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_FUZZ=ON -DBUILD_TESTING=OFF -DQD_BENCH=OFF \
  -DQD_WERROR=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target fuzz_all fuzz_make_seeds

if $seeds; then
  "$build/fuzz/fuzz_make_seeds" "$root/fuzz/corpus"
  echo "fuzz: seed corpora rewritten under fuzz/corpus"
  exit 0
fi

# target name, corpus folder, dictionary, largest input
all=(
  "vst2_chunk chunk 4096"
  "unserialize_params chunk 1024"
  "string2parameter text 256"
  "text_entry text 256"
  "png png 16384"
  "aax_chunk chunk 4096"
)
if [ ${#targets[@]} -eq 0 ]; then
  for entry in "${all[@]}"; do targets+=("${entry%% *}"); done
fi

# A small quarantine keeps the resident size of long runs down; large freed bitmaps
# would otherwise stay mapped.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
mkdir -p "$build/artifacts"
status=0
summary=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz: $target is not built here (its subsystem is missing); skipped"
    continue
  fi
  dict=chunk; max_len=4096
  for entry in "${all[@]}"; do
    read -r name d m <<<"$entry"
    if [ "$name" = "$target" ]; then dict=$d; max_len=$m; fi
  done
  work="$build/corpus/$target"
  mkdir -p "$work" "$root/fuzz/corpus/$target"
  log="$build/artifacts/$target.log"
  echo "== fuzz $target for ${seconds} s"
  if "$binary" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
      -dict="$root/fuzz/dict/$dict.dict" -artifact_prefix="$build/artifacts/$target-" \
      -print_final_stats=1 "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 runs in \2 s/p' "$log" | tail -1)
    summary+=("$target: $runs")
  else
    status=1
    summary+=("$target: FAILED (see $log)")
    grep -E 'ERROR|SUMMARY|fuzz check|runtime error|Test unit written' "$log" | head -20 || true
  fi
done
echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit $status
