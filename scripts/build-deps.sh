#!/usr/bin/env bash
# build-deps.sh - build korrin's third-party libraries (libogg, libvorbis,
# libjpeg-turbo, libpng, libtiff) as static i686-w64-mingw32 archives.
#
# Sources are Debian's source packages with Debian's patches applied. They are
# fetched through a private apt configuration, so the system's apt setup is
# never changed. zlib comes from Debian's libz-mingw-w64-dev.
#
# Output: $KORRIN_DEPS_DIR/i686/{include,lib,lib/pkgconfig}
#         (KORRIN_DEPS_DIR defaults to ~/.cache/korrin-deps).
# Libraries already built (stamp present, archive present) are skipped, so a
# rerun takes seconds. Build logs: $KORRIN_DEPS_DIR/logs/<lib>.log.
# To move to a newer Debian revision of a library, delete its src/<package>
# directory and stamps/<lib>.stamp in the cache and run again.
#
# Link order for consumers:
#   -ltiff -ljpeg -lpng16 -lvorbisfile -lvorbis -logg -lz
. "$(dirname "$0")/lib.sh"

# --- Settings -----------------------------------------------------------------
CACHE=${KORRIN_DEPS_DIR:-$HOME/.cache/korrin-deps}
PREFIX=$CACHE/i686
HOST=i686-w64-mingw32
SYSROOT=/usr/$HOST
# The project's own toolchain file (CMake-built libraries use it too).
TOOLCHAIN=$root/cmake/$HOST.cmake
OPT_CFLAGS="-O2"
JOBS=$(nproc 2>/dev/null || echo 2)
# Bump when the build flags below change: every library is rebuilt once.
RECIPE=1

# Library name, Debian source package, archive proving it is installed, and
# libraries it is built against. Listed in build order.
LIBS=(libogg libvorbis libjpeg-turbo libpng libtiff)
declare -A SRCPKG=([libogg]=libogg [libvorbis]=libvorbis [libjpeg-turbo]=libjpeg-turbo
                   [libpng]=libpng1.6 [libtiff]=tiff)
declare -A ARCHIVE=([libogg]=libogg.a [libvorbis]=libvorbisfile.a [libjpeg-turbo]=libjpeg.a
                    [libpng]=libpng16.a [libtiff]=libtiff.a)
declare -A DEPS=([libvorbis]=libogg [libtiff]=libjpeg-turbo)

TOOLS=(g++-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev dpkg-dev cmake make
       autoconf automake libtool pkg-config nasm)

START=$SECONDS
mkdir -p "$CACHE"/{src,logs,stamps,build} "$PREFIX"/{include,lib/pkgconfig}

# One run at a time per cache.
exec 9>"$CACHE/.lock"
flock 9

# --- Build tools: install only what is missing --------------------------------
install_missing "${TOOLS[@]}"
[[ -f $SYSROOT/lib/libz.a ]] || { echo "zlib for $HOST not found in $SYSROOT/lib" >&2; exit 1; }

# --- Private apt setup: deb-src entries derived from the system's sources -----
APTDIR=$CACHE/apt
APT_OPTS=(-o "Dir::Etc::SourceList=$APTDIR/deb-src.sources"
          -o "Dir::Etc::SourceParts=$APTDIR/parts.d"
          -o "Dir::State=$APTDIR/state" -o "Dir::Cache=$APTDIR/cache"
          -o "APT::Sandbox::User=root")

# One-line format ("deb [opts] uri suite comp...") to a deb822 deb-src stanza.
oneline_to_deb822() {
  awk '
    { sub(/#.*/, "") }
    $1 != "deb" && $1 != "deb-src" { next }
    {
      opts = ""; i = 2
      if ($2 ~ /^\[/) {
        line = $0; sub(/^[^[]*\[/, "", line); sub(/\].*$/, "", line)
        n = split(line, kv, /[ \t]+/)
        for (k = 1; k <= n; k++) {
          if (kv[k] ~ /^signed-by=/) opts = opts "Signed-By: " substr(kv[k], 11) "\n"
          if (kv[k] ~ /^trusted=/)   opts = opts "Trusted: " substr(kv[k], 9) "\n"
        }
        while ($i !~ /\]$/) i++
        i++
      }
      comps = ""
      for (k = i + 2; k <= NF; k++) comps = comps " " $k
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n%s\n", $i, $(i + 1), comps, opts
    }' "$1"
}

# deb822 stanzas: keep enabled deb/deb-src ones, retyped as deb-src.
deb822_to_debsrc() {
  awk '
    function flush() {
      if (n && enabled && src) { for (j = 1; j <= n; j++) print lines[j]; print "" }
      n = 0; enabled = 1; src = 0
    }
    BEGIN { enabled = 1 }
    /^[ \t]*$/ { flush(); next }
    /^#/ { next }
    tolower($1) == "types:" {
      for (k = 2; k <= NF; k++) if ($k == "deb" || $k == "deb-src") src = 1
      lines[++n] = "Types: deb-src"; next
    }
    tolower($1) == "enabled:" && tolower($2) ~ /^(no|false|off|without|disable)$/ { enabled = 0 }
    { lines[++n] = $0 }
    END { flush() }' "$1"
}

write_apt_sources() {
  mkdir -p "$APTDIR"/{parts.d,state/lists/partial,cache/archives/partial}
  local f out=$APTDIR/deb-src.sources.new
  : >"$out"
  [[ -f /etc/apt/sources.list ]] && oneline_to_deb822 /etc/apt/sources.list >>"$out"
  # apt itself only reads *.list and *.sources here; other suffixes are ignored.
  for f in /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] && oneline_to_deb822 "$f" >>"$out"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] && deb822_to_debsrc "$f" >>"$out"
  done
  [[ -s $out ]] || { echo "no usable apt sources found in /etc/apt" >&2; exit 1; }
  mv "$out" "$APTDIR/deb-src.sources"
}

APT_READY=0
apt_private_update() {
  ((APT_READY)) && return 0
  write_apt_sources
  # A source without deb-src indices only costs a warning; a package missing
  # from all of them is reported by fetch_source.
  apt_wait apt-get "${APT_OPTS[@]}" update ||
    echo "warning: private 'apt-get update' reported errors, continuing" >&2
  APT_READY=1
}

# Versions of a source package listed by the private index, newest first.
source_versions() {
  local pkg=$1 v sorted=() i
  while read -r v; do
    i=${#sorted[@]}
    while ((i > 0)) && dpkg --compare-versions "$v" gt "${sorted[i-1]}"; do
      sorted[i]=${sorted[i-1]}; ((i--)) || true
    done
    sorted[i]=$v
  done < <(apt-cache "${APT_OPTS[@]}" showsrc "$pkg" |
           awk -v p="$pkg" '$1 == "Package:" { cur = $2 } $1 == "Version:" && cur == p { print $2 }' |
           sort -u)
  printf '%s\n' "${sorted[@]}"
}

# --- Source fetch: $CACHE/src/<pkg>/, downloaded and unpacked once ------------
# Sets SRC_VERSION and SRC_DIR.
fetch_source() {
  local pkg=$1 dir=$CACHE/src/$1 v tmp
  if [[ -f $dir/.unpacked ]]; then
    read -r SRC_VERSION SRC_DIR <"$dir/.unpacked"
    SRC_DIR=$dir/$SRC_DIR
    return 0
  fi
  apt_private_update
  tmp=$dir.tmp
  mkdir -p "$tmp"
  # Newest listed version first; fall back to older ones whose files are served.
  for v in $(source_versions "$pkg"); do
    rm -rf "${tmp:?}/$pkg-"*/   # half-unpacked tree of an earlier attempt
    if (cd "$tmp" && apt-get "${APT_OPTS[@]}" source "$pkg=$v") >>"$CACHE/logs/fetch-$pkg.log" 2>&1; then
      local up=${v#*:}; up=${up%-*}
      [[ -d $tmp/$pkg-$up/debian ]] || { echo "$pkg $v: unpacked tree not found" >&2; return 1; }
      echo "$v $pkg-$up" >"$tmp/.unpacked"
      rm -rf "$dir"; mv "$tmp" "$dir"
      SRC_VERSION=$v SRC_DIR=$dir/$pkg-$up
      return 0
    fi
    echo "$pkg $v: source not downloadable, trying an older version" >&2
  done
  echo "$pkg: no downloadable source version (see $CACHE/logs/fetch-$pkg.log)" >&2
  return 1
}

# --- Cross-build environment ---------------------------------------------------
[[ -f $TOOLCHAIN ]] || { echo "toolchain file $TOOLCHAIN not found" >&2; exit 1; }
export PKG_CONFIG=pkg-config
export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig:$SYSROOT/lib/pkgconfig
export CFLAGS=$OPT_CFLAGS CXXFLAGS=$OPT_CFLAGS
export CPPFLAGS="-I$PREFIX/include" LDFLAGS="-L$PREFIX/lib"

# Autotools libraries: regenerate the build system like Debian's dh_autoreconf
# does (Debian patches may touch configure.ac/Makefile.am), then build statically.
autotools_build() {
  autoreconf -fi
  ./configure --host=$HOST --prefix="$PREFIX" --disable-shared --enable-static \
              --disable-dependency-tracking "$@"
  make -j"$JOBS" V=1
  make install
}

build_libogg()   { autotools_build; }
build_libvorbis(){ autotools_build --disable-docs --disable-examples; }
build_libpng()   { autotools_build; }
build_libtiff() {
  autotools_build --disable-cxx --disable-lzma --disable-zstd --disable-webp --disable-jbig \
                  --disable-libdeflate --disable-lerc --disable-jpeg12 --disable-opengl \
                  --enable-zlib --enable-jpeg \
                  --disable-tools --disable-tests --disable-contrib --disable-docs
  # configure silently drops codecs whose library it cannot link; insist on both.
  local codec
  for codec in JPEG ZIP; do
    grep -q "^#define ${codec}_SUPPORT 1" "$PREFIX/include/tiffconf.h" ||
      { echo "libtiff was configured without $codec support" >&2; return 1; }
  done
}
build_libjpeg-turbo() {
  cmake -S . -B _build -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="$OPT_CFLAGS -DNDEBUG" \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
        -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
  cmake --build _build -j"$JOBS" --verbose
  cmake --install _build
}

# Is the stamp for $1 current (same recipe, archive present, deps not newer)?
stamp_ok() {
  local lib=$1 stamp=$CACHE/stamps/$1.stamp d
  [[ -f $stamp && -f $PREFIX/lib/${ARCHIVE[$lib]} ]] || return 1
  grep -qx "recipe=$RECIPE" "$stamp" || return 1
  for d in ${DEPS[$lib]:-}; do
    [[ $CACHE/stamps/$d.stamp -nt $stamp ]] && return 1
  done
  return 0
}

# --- Build each library in order ----------------------------------------------
for lib in "${LIBS[@]}"; do
  stamp=$CACHE/stamps/$lib.stamp
  if stamp_ok "$lib"; then
    echo "$lib $(sed -n 's/^version=//p' "$stamp"): cached"
    continue
  fi
  fetch_source "${SRCPKG[$lib]}"
  log=$CACHE/logs/$lib.log
  work=$CACHE/build/$lib
  rm -rf "$work" "$stamp"
  cp -a "$SRC_DIR" "$work"
  t0=$SECONDS
  set +e
  (set -euo pipefail; cd "$work"; echo "== $lib $SRC_VERSION"; "build_$lib") >"$log" 2>&1
  rc=$?
  set -e
  if ((rc != 0)); then
    echo "$lib $SRC_VERSION: FAILED (log: $log)" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
  # Installed programs, docs and libtool archives are not needed by consumers.
  rm -rf "${PREFIX:?}"/bin "${PREFIX:?}"/share/{doc,man} "$CACHE/build/$lib"
  find "$PREFIX/lib" -name '*.la' -delete
  printf 'version=%s\nrecipe=%s\nsource=%s\n' "$SRC_VERSION" "$RECIPE" "${SRCPKG[$lib]}" >"$stamp"
  echo "$lib $SRC_VERSION: built ($((SECONDS - t0)) s)"
done

# --- Check: link every library into a static test program, run it under wine ---
CHECK=$CACHE/check
mkdir -p "$CHECK"
cat >"$CHECK/depcheck.c" <<'EOF'
#include <stdio.h>
#include <string.h>
#include <png.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>
#include <zlib.h>

int main(void)
{
    struct jpeg_decompress_struct jd;
    struct jpeg_error_mgr jerr;
    ogg_sync_state oy;
    vorbis_info vi;
    OggVorbis_File vf = {0};

    jd.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&jd);
    jpeg_destroy_decompress(&jd);
    if (ogg_sync_init(&oy) != 0) return 1;
    ogg_sync_clear(&oy);
    vorbis_info_init(&vi);
    vorbis_info_clear(&vi);
    ov_clear(&vf);
    printf("png %lu, zlib %s, ogg ok, %s, jpeg ok\n",
           (unsigned long)png_access_version_number(), zlibVersion(), vorbis_version_string());
    printf("%.*s\n", (int)strcspn(TIFFGetVersion(), "\n"), TIFFGetVersion());
    return 0;
}
EOF
$HOST-gcc -static $OPT_CFLAGS -I"$PREFIX/include" "$CHECK/depcheck.c" -o "$CHECK/depcheck.exe" \
  -L"$PREFIX/lib" -ltiff -ljpeg -lpng16 -lvorbisfile -lvorbis -logg -lz
echo "link check: ok ($CHECK/depcheck.exe)"
if command -v wine >/dev/null 2>&1; then
  WINEDEBUG=-all wine "$CHECK/depcheck.exe" | tr -d '\r' | sed 's/^/run under wine: /'
else
  echo "wine not installed; run later: WINEDEBUG=-all wine $CHECK/depcheck.exe"
fi

echo "prefix: $PREFIX ($((SECONDS - START)) s)"
