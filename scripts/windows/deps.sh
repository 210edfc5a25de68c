#!/usr/bin/env bash
# Builds the static 64-bit Windows libraries the Windows deliverables and programs link:
# zlib, libpng, libebur128, pixman, FreeType, cairo and libsndfile (for the command-line
# host), each from Debian's own source package at the pinned version below, cross-compiled
# with mingw-w64. Built once into a cache folder and reused; the last line printed is the
# prefix to pass as QD_WIN_DEPS. Nothing prebuilt is downloaded.
#   scripts/windows/deps.sh            build when missing, print the prefix
# Cache: $QD_WIN_DEPS_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/quarlodorvantix. A change to
# this script (a pin, a flag) gives a new cache folder. Needs root or sudo only to install
# the cross compilers or to add a source entry for apt.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
triple=x86_64-w64-mingw32
jobs=${QD_JOBS:-2}

# Source package and version, one a line.
pins=(
  "zlib 1:1.2.13.dfsg-1"
  "libpng1.6 1.6.39-2+deb12u5"
  "libebur128 1.2.6-1"
  "pixman 0.42.2-1"
  "freetype 2.12.1+dfsg-5+deb12u4"
  "cairo 1.16.0-7"
  "libsndfile 1.2.0-1+deb12u1"
)

log() { echo "deps: $*" >&2; }

key=$(cat "$0" "$root/cmake/toolchains/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-12)
cache_root=${QD_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarlodorvantix}
cache="$cache_root/mingw64-deps-$key"
prefix="$cache/prefix"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

"$here/install-tools.sh" >&2

mkdir -p "$cache"
exec 9> "$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
rm -rf "$prefix" "$cache/build"
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$cache/src" "$cache/build"

# apt needs a source entry for Debian's archive. It is derived from the binary entries this
# machine already uses for its own release (deb822 .sources files or one-line .list files).
ensure_deb_src() {
  local first=${pins[0]}
  local known
  known=$(apt-cache showsrc "${first%% *}" 2> /dev/null || true)
  if grep -qx "Version: ${first#* }" <<< "$known"; then return; fi
  local code
  code=$(. /etc/os-release && echo "$VERSION_CODENAME")
  local out=/etc/apt/sources.list.d/quarlodorvantix-deb-src
  local sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  local entries=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$out.sources" ] && continue
    entries+=$(awk -v code="$code" 'BEGIN { RS = ""; ORS = "\n\n" }
      $0 ~ "Suites:[^\n]*[ \t]" code "([ \t\n-]|$)" && $0 ~ "Types:[^\n]*deb" {
        gsub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f")
    entries+=$'\n'
  done
  if [ -n "${entries//[$'\n']/}" ]; then
    printf '%s\n' "$entries" | "${sudo_cmd[@]}" tee "$out.sources" > /dev/null
  else
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2> /dev/null |
      awk -v code="$code" '$1 == "deb" && ($3 == code || index($3, code "-") == 1) {
        $1 = "deb-src"; print }' | "${sudo_cmd[@]}" tee "$out.list" > /dev/null
  fi
  log "added source entries for apt ($out.*); updating the package lists"
  "${sudo_cmd[@]}" apt-get update -q >&2
}

# Fetches and unpacks one source package into $cache/src/<name>. When Debian's packaging
# part of a package cannot be fetched but its upstream tarball can, the tarball is checked
# against the checksum in the package's .dsc and unpacked as it is.
fetch() {
  local pkg=$1 ver=$2
  local dir="$cache/src/$pkg"
  [ -d "$dir" ] && return
  # Downloads are kept apart from the builds, so a change of build flags fetches nothing.
  local dl="$cache_root/downloads/${pkg}_${ver#*:}"
  mkdir -p "$dl"
  chmod 0777 "$dl" 2> /dev/null || true
  (cd "$dl" && apt-get source -q --download-only "$pkg=$ver" > "$dl/apt.log" 2>&1) || true
  local dsc="$dl/${pkg}_${ver#*:}.dsc"
  if [ ! -f "$dsc" ]; then
    cat "$dl/apt.log" >&2
    log "cannot fetch the source package $pkg $ver"
    exit 1
  fi
  local complete=1 orig=""
  while read -r sum size file; do
    [ -n "$file" ] || continue
    case $file in *.orig.tar.*[!c]) [ -z "$orig" ] && orig=$file ;; esac
    if [ ! -f "$dl/$file" ] || ! echo "$sum  $dl/$file" | sha256sum -c --quiet - > /dev/null 2>&1; then
      complete=0
    fi
  done < <(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep '^ ')
  if [ $complete = 1 ]; then
    (cd "$dl" && dpkg-source -q -x "$(basename "$dsc")" "$dir" > /dev/null 2>&1) ||
      { log "cannot unpack $dsc"; exit 1; }
  else
    [ -n "$orig" ] && [ -f "$dl/$orig" ] || { log "no upstream tarball for $pkg"; exit 1; }
    local sum
    sum=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | awk -v f="$orig" '$3 == f { print $1 }')
    echo "$sum  $dl/$orig" | sha256sum -c --quiet - > /dev/null ||
      { log "checksum mismatch for $orig"; exit 1; }
    log "Debian's packaging part of $pkg $ver is unavailable; building its upstream tarball"
    mkdir -p "$dir"
    tar -xf "$dl/$orig" -C "$dir" --strip-components=1
  fi
  # Every file gets the same time stamp, so make never finds a generated autotools file
  # older than its input and tries to regenerate it (the autotools are not needed).
  find "$dir" -exec touch -h -d '2000-01-01' {} +
}

ensure_deb_src
for pin in "${pins[@]}"; do fetch ${pin% *} "${pin#* }"; done

export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=""
cc="$triple-gcc-posix"
cflags="-O2 -g0"
autotools=(--host=$triple --prefix="$prefix" --disable-shared --enable-static
           CC="$cc" CFLAGS="$cflags" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib")
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake"
            -DQD_WIN_DEPS="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix"
            -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF)
quiet() {
  local logfile="$cache/build/$1.log"; shift
  if ! "$@" > "$logfile" 2>&1; then
    tail -40 "$logfile" >&2
    log "failed: $*  (log: $logfile)"
    exit 1
  fi
}

log "zlib"
b="$cache/build/zlib"; mkdir -p "$b"
# Debian's zlib source leaves out the Windows makefiles; the library is its plain C files.
for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
  inftrees trees uncompr zutil; do
  quiet zlib "$cc" $cflags -c "$cache/src/zlib/$f.c" -o "$b/$f.o"
done
quiet zlib "$triple-ar" rcs "$b/libz.a" "$b"/*.o
cp "$b/libz.a" "$prefix/lib/"
b="$cache/src/zlib"
cp "$b/zlib.h" "$b/zconf.h" "$prefix/include/"
cat > "$prefix/lib/pkgconfig/zlib.pc" <<PC
prefix=$prefix
Name: zlib
Description: zlib compression library
Version: 1.2.13
Libs: -L\${prefix}/lib -lz
Cflags: -I\${prefix}/include
PC

log "libpng"
b="$cache/build/libpng"; mkdir -p "$b"
(cd "$b" && quiet libpng-configure "$cache/src/libpng1.6/configure" "${autotools[@]}")
quiet libpng make -C "$b" -j"$jobs" libpng16.la
quiet libpng-install make -C "$b" install-libLTLIBRARIES install-pkgincludeHEADERS \
  install-nodist_pkgincludeHEADERS install-pkgconfigDATA install-binSCRIPTS install-data-hook
ln -sf libpng16/png.h libpng16/pngconf.h libpng16/pnglibconf.h "$prefix/include/" 2> /dev/null || true

log "libebur128"
quiet ebur128-configure cmake -S "$cache/src/libebur128" -B "$cache/build/ebur128" "${cmake_args[@]}" \
  -DBUILD_STATIC_LIBS=ON -DENABLE_TESTS=OFF
quiet ebur128 cmake --build "$cache/build/ebur128" -j"$jobs" --target install

log "pixman"
b="$cache/build/pixman"; mkdir -p "$b"
(cd "$b" && quiet pixman-configure "$cache/src/pixman/configure" "${autotools[@]}" \
  --disable-gtk --disable-libpng --disable-openmp --disable-arm-iwmmxt --disable-loongson-mmi)
quiet pixman make -C "$b/pixman" -j"$jobs" install
quiet pixman-pc make -C "$b" install-pkgconfigDATA

log "freetype"
b="$cache/build/freetype"; mkdir -p "$b"
(cd "$b" && quiet freetype-configure "$cache/src/freetype/configure" "${autotools[@]}" \
  --with-zlib=yes --without-bzip2 --without-png --without-harfbuzz --without-brotli)
quiet freetype make -C "$b" -j"$jobs"
quiet freetype-install make -C "$b" install

log "cairo"
b="$cache/build/cairo"; mkdir -p "$b"
(cd "$b" && quiet cairo-configure "$cache/src/cairo/configure" "${autotools[@]}" \
  CFLAGS="$cflags -DCAIRO_WIN32_STATIC_BUILD" \
  --enable-win32 --enable-win32-font --enable-ft --enable-png --disable-fc --disable-xlib \
  --disable-xlib-xrender --disable-xcb --disable-quartz --disable-gobject --disable-trace \
  --disable-interpreter --disable-script --disable-ps --disable-pdf --disable-svg \
  --disable-full-testing --disable-gtk-doc --disable-valgrind --disable-symbol-lookup)
quiet cairo make -C "$b/src" -j"$jobs" libcairo.la
quiet cairo-install make -C "$b/src" install-libLTLIBRARIES install-cairoincludeHEADERS \
  install-nodist_cairoincludeHEADERS install-pkgconfigDATA
# A static cairo for Windows needs this definition in every user and these system libraries.
pc="$prefix/lib/pkgconfig/cairo.pc"
sed -i 's|^Cflags: \(.*\)$|Cflags: \1 -DCAIRO_WIN32_STATIC_BUILD|' "$pc"
if grep -q '^Libs.private:' "$pc"; then
  sed -i 's|^Libs.private: \(.*\)$|Libs.private: \1 -lssp -lgdi32 -lmsimg32 -luser32|' "$pc"
else
  echo 'Libs.private: -lssp -lgdi32 -lmsimg32 -luser32' >> "$pc"
fi
# The public functions of cairo, which the deliverables export under their own names: the
# cairo_* functions the library defines that its installed headers declare.
"$triple-nm" -g --defined-only "$prefix/lib/libcairo.a" 2> /dev/null |
  awk '$2 == "T" && $3 ~ /^cairo_/ { print $3 }' | sort -u > "$cache/build/cairo-defined"
cat "$prefix"/include/cairo/*.h | grep -o '\bcairo_[a-z0-9_]*\b' | sort -u > "$cache/build/cairo-declared"
comm -12 "$cache/build/cairo-defined" "$cache/build/cairo-declared" > "$prefix/lib/cairo-exports.txt"

log "libsndfile"
quiet sndfile-configure cmake -S "$cache/src/libsndfile" -B "$cache/build/sndfile" "${cmake_args[@]}" \
  -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
  -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF -DINSTALL_MANPAGES=OFF
quiet sndfile cmake --build "$cache/build/sndfile" -j"$jobs" --target install

printf '%s\n' "${pins[@]}" > "$prefix/.complete"
rm -rf "$cache/build"
log "done: $prefix"
echo "$prefix"
