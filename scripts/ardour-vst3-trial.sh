#!/usr/bin/env bash
# Tries the built VST3 bundle in a real Linux host: Ardour from Debian's packages, driven
# headless through its Lua interpreter (ardour7-lua) with the dummy audio backend. Not part
# of the test suite (CI does not depend on a DAW); run it by hand:
#   ./scripts/ardour-vst3-trial.sh [options] [BUILD]   (default build/release; installs
#                                                      ardour when missing, as root or sudo)
# Options:
#   --runs N         repeat the session trial N times (default 1), each in a fresh folder,
#                    and end with "N passed, M failed"; a run fails when Ardour exits with
#                    an error or a signal, loses the setting or writes no export
#   --bundle DIR     try another VST3 bundle in place of ours (e.g. one from /usr/lib/vst3),
#                    with --plugin NAME, --param INDEX and --value V naming the plug-in, the
#                    parameter set and its value (ours: QuarloDorvantix, 3 "Limiter Level",
#                    6 dB); tells a fault of the host from one of the plug-in
#   --valgrind       runs the sessions under valgrind's memcheck (slow: minutes a run); a
#                    run with a memory error fails, and its report is shown
#   --preload LIB    runs Ardour with LIB preloaded, e.g. glibc's libc_malloc_debug.so.0
#                    with MALLOC_CHECK_=3 (leak checks of a sanitizer are off: the host's
#                    allocations are not ours to judge; Ardour 7 hangs at start with
#                    libasan preloaded, so a sanitizer build is tried in the test host only)
#   --keep           keeps the folders of failed runs in BUILD/../ardour-vst3-failed
# Steps of one run: a session gets a stereo track with a sine generator followed by the
# plug-in, whose parameter is set; the session is saved and closed; it is reopened, the
# setting is read back, and the session is exported with the plug-in active and with it
# deactivated. Ardour's VST3 scanner reads the bundle once before the runs; the host tool
# measures the exports of the first run.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

runs=1
bundle=""
plugin=QuarloDorvantix
param=3
value=6.0
preload=""
valgrind=0
keep=0
build=$root/build/release
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --bundle) bundle=$2; shift 2 ;;
    --plugin) plugin=$2; shift 2 ;;
    --param) param=$2; shift 2 ;;
    --value) value=$2; shift 2 ;;
    --preload) preload=$2; shift 2 ;;
    --valgrind) valgrind=1; shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,/^set -uo/p' "$0" | sed '$d' ; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
  echo "--runs takes a count of 1 or more" >&2
  exit 2
fi

if ! command -v ardour7-lua > /dev/null; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    ardour || exit 1
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null || exit 1
fi
cmake --build "$build" --target QuarloDorvantixVst3 qdhost > /dev/null || exit 1
if [ -z "$bundle" ]; then bundle=$build/vst3/QuarloDorvantix.vst3; fi
if [ ! -d "$bundle" ]; then
  echo "no bundle at $bundle" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qd-ardour-vst3.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A private home: Ardour's configuration and plug-in cache stay out of the user's; the
# bundle goes where Linux hosts look for a user's VST3 plug-ins.
export HOME="$work/home"
export VST3_PATH="$HOME/.vst3"
mkdir -p "$VST3_PATH"
cp -r "$bundle" "$VST3_PATH/"
bundle_name=$(basename "$bundle")
export QD_PLUGIN=$plugin QD_PARAM=$param QD_VALUE=$value

# A command of Ardour's, preloaded with what --preload names (a sanitizer's report goes to
# the command's output).
preloaded() {
  if [ -n "$preload" ]; then
    LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$@"
  else
    "$@"
  fi
}
# A session script run by Ardour's Lua interpreter, under memcheck with --valgrind: errors in
# the plug-in and in the host alike, past the host's known ones in the suppressions file.
host() {
  if [ $valgrind -eq 1 ]; then
    preloaded valgrind --trace-children=yes --error-exitcode=99 --num-callers=30 \
      --suppressions="$root/scripts/memcheck.supp" ardour7-lua "$@"
  else
    preloaded ardour7-lua "$@"
  fi
}

# A first start lays out Ardour's configuration folders; the scanner records its results
# there, and only then does a session find the plug-in.
echo 'print("Ardour started once")' > "$work/first.lua"
preloaded ardour7-lua "$work/first.lua" 2>&1 | grep "started once"

echo "== Ardour's VST3 scanner"
scanner=$(dpkg -L ardour | grep '/ardour-vst3-scanner$' | head -1)
LD_LIBRARY_PATH=$(dirname "$scanner") preloaded "$scanner" -f -v "$VST3_PATH/$bundle_name" 2>&1 |
  grep -vE "^$" | head -40

cat > "$work/create.lua" <<'LUA'
AudioEngine:set_backend("None (Dummy)", "", "")
create_session(os.getenv("RUN") .. "/session", "trial", 48000)
local name, index = os.getenv("QD_PLUGIN"), tonumber(os.getenv("QD_PARAM"))
local track = Session:new_audio_track(2, 2, nil, 1, "Stereo", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local sine = ARDOUR.LuaAPI.new_plugin(Session, "SinGen", ARDOUR.PluginType.Lua, "")
assert(not sine:isnil(), "no sine generator")
ARDOUR.LuaAPI.set_processor_param(sine, 0, 220)   -- Hz
ARDOUR.LuaAPI.set_processor_param(sine, 1, -6)    -- dB
track:add_processor_by_index(sine, 0, nil, true)
local qd = ARDOUR.LuaAPI.new_plugin(Session, name, ARDOUR.PluginType.VST3, "")
assert(not qd:isnil(), "Ardour did not find " .. name)
assert(track:add_processor_by_index(qd, 1, nil, true) == 0, "could not insert the plug-in")
local plugin = qd:to_insert():plugin(0)
print("inserted " .. qd:name() .. " (" .. plugin:get_info().type .. ") with "
      .. plugin:parameter_count() .. " parameters on track " .. track:name() .. " ("
      .. track:n_inputs():n_audio() .. " in)")
for i = 0, plugin:parameter_count() - 1 do
  local _, t = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
  print(string.format("  parameter %d: %s (%g .. %g)", i, plugin:parameter_label(i),
                      t[2].lower, t[2].upper))
end
ARDOUR.LuaAPI.set_processor_param(qd, index, tonumber(os.getenv("QD_VALUE")))
print("set " .. plugin:parameter_label(index) .. " to "
      .. ARDOUR.LuaAPI.get_processor_param(qd, index, true))
assert(Session:save_state("", false, false, false, false, false) == 0, "save failed")
print("session saved")
close_session()
print("CREATE DONE")
LUA

cat > "$work/reopen.lua" <<'LUA'
AudioEngine:set_backend("None (Dummy)", "", "")
load_session(os.getenv("RUN") .. "/session", "trial")
local name, index = os.getenv("QD_PLUGIN"), tonumber(os.getenv("QD_PARAM"))
local qd = nil
for r in Session:get_routes():iter() do
  local i = 0
  while not r:nth_plugin(i):isnil() do
    if r:nth_plugin(i):name() == name then qd = r:nth_plugin(i) end
    i = i + 1
  end
end
assert(qd, "the reopened session has no " .. name)
local level = ARDOUR.LuaAPI.get_processor_param(qd, index, true)
print("reopened: parameter " .. index .. " is " .. level)
print(math.abs(level - tonumber(os.getenv("QD_VALUE"))) < 1e-3 and "SETTING KEPT"
      or "SETTING LOST")
local function export(file)
  local e = Session:simple_export()
  e:set_name(file)
  e:set_folder(os.getenv("RUN"))
  e:set_range(0, 5 * 48000)
  assert(e:set_preset("75969a1c-3133-4694-864b-a1fa50e43348"), "no WAV export preset")
  assert(e:run_export(), "export failed")
end
export("with-plugin")
qd:deactivate()
export("plugin-deactivated")
close_session()
print("REOPEN DONE")
LUA

# How Ardour ended, from its exit status.
describe_status() {
  local s=$1
  if [ "$s" -gt 128 ]; then
    echo "killed by signal $((s - 128)) ($(kill -l $((s - 128)) 2> /dev/null || echo '?'))"
  else
    echo "exit status $s"
  fi
}

# One run in its own folder: RUN. Prints what failed (nothing when it passed).
trial() {
  export RUN=$1
  mkdir -p "$RUN"
  host "$work/create.lua" > "$RUN/create.log" 2>&1
  local s=$?
  if [ $s -ne 0 ] || ! grep -q "CREATE DONE" "$RUN/create.log"; then
    echo "creating the session: $(describe_status $s)"
    return
  fi
  host "$work/reopen.lua" > "$RUN/reopen.log" 2>&1
  s=$?
  if [ $s -ne 0 ] || ! grep -q "REOPEN DONE" "$RUN/reopen.log"; then
    echo "reopening and exporting: $(describe_status $s)"
    return
  fi
  grep -q "SETTING KEPT" "$RUN/reopen.log" || echo "the setting was lost"
  for f in with-plugin plugin-deactivated; do
    [ -s "$RUN/$f.wav" ] || echo "no export $f.wav"
  done
}

# The log lines worth showing from a run (Ardour's chatter left out).
show() {
  grep -vE "^$|WARNING|ERROR.*encoder|Butler|direct dispatch" "$1"
}

passed=0
failed=0
for ((i = 1; i <= runs; i++)); do
  dir=$work/run$i
  fault=$(trial "$dir")
  if [ "$i" -eq 1 ]; then
    echo "== Create the session"
    show "$dir/create.log"
    if [ -f "$dir/reopen.log" ]; then
      echo "== Reopen, read the setting back, export"
      show "$dir/reopen.log"
      grep -o '<Processor [^>]*type="vst3"[^>]*>' "$dir/session/trial.ardour" |
        sed 's/^/saved in trial.ardour: /'
    fi
    if [ -s "$dir/with-plugin.wav" ] && [ -s "$dir/plugin-deactivated.wav" ]; then
      echo "== The exports, measured by the host tool"
      report=$("$build/tools/host/qdhost" measure "$dir/with-plugin.wav" \
        "$dir/plugin-deactivated.wav")
      echo "$report"
      levels() { echo "$report" | grep "$1" | awk '{print $2, $3, $4, $5}'; }
      if [ "$(levels with-plugin)" != "$(levels plugin-deactivated)" ]; then
        echo "The levels differ: the plug-in shaped the audio."
      else
        echo "Same levels with the plug-in active and deactivated: it passed the audio through."
      fi
    fi
    [ "$runs" -gt 1 ] && echo "== $runs runs"
  fi
  if [ -z "$fault" ]; then
    passed=$((passed + 1))
    [ "$runs" -gt 1 ] && echo "run $i: passed"
  else
    failed=$((failed + 1))
    echo "run $i: FAILED, $fault"
    # The end of the failing log: a sanitizer's report or the host's last words.
    for log in "$dir/reopen.log" "$dir/create.log"; do
      if [ -f "$log" ]; then
        tail -n 40 "$log" | sed 's/^/    /'
        break
      fi
    done
    if [ $keep -eq 1 ]; then
      mkdir -p "$build/../ardour-vst3-failed"
      cp -r "$dir" "$build/../ardour-vst3-failed/run$i-$(date +%H%M%S)"
    fi
  fi
  rm -rf "$dir"
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
