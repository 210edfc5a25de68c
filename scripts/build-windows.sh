#!/usr/bin/env bash
# Builds the 64-bit Windows deliverables on Linux: QuarloDorvantix.dll (VST2),
# QuarloDorvantix.aaxplugin (AAX, also laid out as a bundle) and the QuarloDorvantix.vst3
# bundle, plus qdhost.exe and the
# Windows test programs that scripts/windows/wine-tests.sh runs under Wine.
#   ./scripts/build-windows.sh
# Installs the cross compilers when missing (root or sudo), builds the static dependencies
# once into a cache (scripts/windows/deps.sh), then cross-compiles into build/windows.
# Warnings are errors when CI=true.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/windows/install-tools.sh"
deps=$("$root/scripts/windows/deps.sh" | tail -n 1)

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
# GoogleTest for the Windows test programs is built from the source Debian ships with it.
gtest_list=$(dpkg -L googletest 2> /dev/null || true)
gtest_src=$(grep -m 1 '/googletest/googletest/CMakeLists.txt$' <<< "$gtest_list" || true)
gtest_src=${gtest_src%/googletest/CMakeLists.txt}

build="$root/build/windows"
# A new dependency prefix invalidates what CMake cached from the old one (pkg-config answers).
mkdir -p "$build"
if [ "$(cat "$build/.qd-win-deps" 2> /dev/null || true)" != "$deps" ]; then
  rm -f "$build/CMakeCache.txt"
fi
echo "$deps" > "$build/.qd-win-deps"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DQD_WIN_DEPS="$deps" -DQD_GTEST_SOURCE="$gtest_src" \
  -DBUILD_TESTING=OFF -DQD_BENCH=OFF -DQD_WERROR=$werror
cmake --build "$build" -j "${QD_JOBS:-2}"

echo "Windows deliverables:"
echo "  $build/vst/QuarloDorvantix.dll"
echo "  $build/aax/QuarloDorvantix.aaxplugin"
echo "  $build/aax-bundle/QuarloDorvantix.aaxplugin/Contents/x64/QuarloDorvantix.aaxplugin"
echo "  $build/vst3/QuarloDorvantix.vst3/Contents/x86_64-win/QuarloDorvantix.vst3"
echo "  $build/tools/host/qdhost.exe"
"$root/scripts/windows/check-dlls.sh" "$build"
