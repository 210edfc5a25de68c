#!/usr/bin/env bash
# Checks the Windows deliverables with x86_64-w64-mingw32-objdump -p: each exports exactly
# its entry points and cairo's public functions (the VST3 module its entry points only), and
# imports from system DLLs only.
#   scripts/windows/check-dlls.sh [WINDOWS_BUILD]        (default build/windows)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/windows}
objdump=x86_64-w64-mingw32-objdump
deps=$(sed -n 's/^QD_WIN_DEPS:[A-Z]*=//p' "$build/CMakeCache.txt")
system_dlls="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll MSIMG32.dll msvcrt.dll"
status=0

check() {
  local file=$1; shift
  local expected actual imports cairo="$deps/lib/cairo-exports.txt"
  if [ "${NO_CAIRO:-}" = 1 ]; then cairo=/dev/null; fi
  expected=$( (printf '%s\n' "$@"; cat "$cairo") | sort)
  # The name table of the export directory: lines "[ n] name" after its heading.
  actual=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
  imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
  echo "$(basename "$file"): $(echo "$actual" | wc -l) exports ($* and $(wc -l < "$cairo") cairo functions); imports: $(echo $imports)"
  if [ "$expected" != "$actual" ]; then
    echo "  exports differ from the expected list:"
    diff <(echo "$expected") <(echo "$actual") | head -20 | sed 's/^/    /'
    status=1
  fi
  for dll in $imports; do
    case " $system_dlls " in
      *" $dll "*) ;;
      *) echo "  imports $dll, which is not a system DLL"; status=1 ;;
    esac
  done
}

check "$build/vst/QuarloDorvantix.dll" VSTPluginMain main
check "$build/aax/QuarloDorvantix.aaxplugin" ACFCanUnloadNow ACFGetClassFactory ACFGetSDKVersion \
  ACFRegisterComponent ACFRegisterPlugin ACFShutdown ACFStartup
NO_CAIRO=1 check "$build/vst3/QuarloDorvantix.vst3/Contents/x86_64-win/QuarloDorvantix.vst3" \
  ExitDll GetPluginFactory InitDll
exit $status
