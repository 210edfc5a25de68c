#!/usr/bin/env bash
# The long runs: an hour of audio per automatic-output mode through the engine (at the
# heaviest settings, in the host's default and flush-to-zero floating-point modes), then the
# validator suite at a larger scale against the built VST2 and AAX modules.
#
#   scripts/soak.sh                 an hour per mode, validator at scale 20
#   scripts/soak.sh 600 5           ten minutes per mode, validator at scale 5
#   QD_VALIDATOR_SEED=N scripts/soak.sh ...   replays the validator's random choices
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-3600}
scale=${2:-20}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/release" -j "$(nproc 2>/dev/null || echo 2)" \
  --target validator_soak validator_tests validator_thread_tests validator_aax_tests \
  validator_aax_thread_tests
status=0
echo "== soak: ${seconds} s of audio per mode"
QD_SOAK_SECONDS=$seconds "$root/build/release/tests/validator/validator_soak" || status=1
echo "== validator suite at scale ${scale}"
QD_VALIDATOR_SCALE=$scale "$root/build/release/tests/validator/validator_tests" || status=1
for suite in validator_thread_tests validator_aax_tests validator_aax_thread_tests; do
  QD_VALIDATOR_SCALE=$scale "$root/build/release/tests/validator/$suite" || status=1
done
exit $status
