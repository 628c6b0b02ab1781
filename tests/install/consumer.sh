#!/bin/sh
# consumer.sh HOW SOURCE STAGE WORK CXX: builds a user's program against the
# installation in STAGE and runs it.
#   cmake      examples/consumer through find_package; its picture must be
#              the installed lvfilter's, and darker than the plain picture;
#              find_package takes the installed version for the same major
#              version only
#   pkgconfig  the same program with one compiler command and pkg-config
#   ourtool    our own lvfilter built from its sources the same way; it must
#              write what the installed one writes
#   host       a program that links only vcl40, loads the installed
#              Tessorin.bpl at run time and makes the control by class name
set -eu
how=$1 src=$2 stage=$3 work=$4 cxx=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
unset LD_LIBRARY_PATH

configure_and_build() {
  cmake -S "$1" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_PREFIX_PATH="$stage" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
  cmake --build "$work/build"
}

darkens_like_lvfilter() {
  pictures="$src/samples/picture.bmp $src/samples/vignette.bmp"
  # shellcheck disable=SC2086
  "$1" $pictures "$work/out.bmp" 10 20 || fail "the program failed"
  # shellcheck disable=SC2086
  "$stage/bin/lvfilter" $pictures -o "$work/expected.bmp" --top 10 --left 20 --yes
  # shellcheck disable=SC2086
  "$stage/bin/lvfilter" $pictures -o "$work/plain.bmp" --top 100000 --yes
  cmp "$work/out.bmp" "$work/expected.bmp" || fail "the pixels differ from lvfilter's"
  ! cmp -s "$work/out.bmp" "$work/plain.bmp" || fail "nothing was blended"
}

# Whether find_package(Tessorin VERSION) accepts the installed version.
accepts_version() {
  mkdir -p "$work/version-$1"
  printf 'cmake_minimum_required(VERSION 3.16)\nproject(v NONE)\nfind_package(Tessorin %s REQUIRED)\n' "$1" \
    >"$work/version-$1/CMakeLists.txt"
  cmake -S "$work/version-$1" -B "$work/version-$1/build" -DCMAKE_PREFIX_PATH="$stage" >/dev/null 2>&1
}

case $how in
cmake)
  configure_and_build "$src/examples/consumer"
  darkens_like_lvfilter "$work/build/darken"
  installed=$(sed -n 's/^Version: //p' "$stage/lib/pkgconfig/tessorin.pc")
  major=${installed%%.*}
  for wanted in "$major" "$major.0" "$installed"; do
    accepts_version "$wanted" || fail "find_package(Tessorin $wanted) refuses version $installed"
  done
  for wanted in "$((major + 1)).0" "$((major - 1)).9"; do
    ! accepts_version "$wanted" || fail "find_package(Tessorin $wanted) accepts version $installed"
  done
  ;;
pkgconfig)
  export PKG_CONFIG_PATH="$stage/lib/pkgconfig"
  version=$(pkg-config --modversion tessorin) || fail "pkg-config does not find tessorin"
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 -o "$work/darken" "$src/examples/consumer/darken.cpp" $(pkg-config --cflags --libs tessorin)
  darkens_like_lvfilter "$work/darken"
  echo "tessorin $version"
  ;;
ourtool)
  # lvfilter itself, from its sources, against the installed headers and
  # modules alone: what our own programs do, a user's can do too.
  export PKG_CONFIG_PATH="$stage/lib/pkgconfig"
  mkdir -p "$work/bin"
  # shellcheck disable=SC2046
  "$cxx" -std=c++20 -o "$work/bin/lvfilter" -I"$src/apps/common" -DTESSORIN_VERSION='"built"' \
         -DTESSORIN_MODULES_FROM_BIN="\"$stage/lib/tessorin\"" "$src/apps/lvfilter/main.cpp" \
         "$src/apps/common/Tool.cpp" "$src/apps/common/FormFiles.cpp" $(pkg-config --cflags --libs tessorin)
  pictures="$src/samples/picture.bmp $src/samples/vignette.bmp"
  # shellcheck disable=SC2086
  "$work/bin/lvfilter" $pictures -o "$work/built.bmp" --top 10 --left 20 --yes --save-form "$work/built.dfm" ||
    fail "the lvfilter built here failed"
  # shellcheck disable=SC2086
  "$stage/bin/lvfilter" $pictures -o "$work/installed.bmp" --top 10 --left 20 --yes --save-form "$work/installed.dfm"
  cmp "$work/built.bmp" "$work/installed.bmp" || fail "the picture differs from the installed lvfilter's"
  cmp "$work/built.dfm" "$work/installed.dfm" || fail "the stored form differs from the installed lvfilter's"
  ;;
host)
  configure_and_build "$src/tests/install/loader"
  seen=$("$work/build/host" "$stage/lib/tessorin/Tessorin.bpl") || fail "host: $seen"
  [ "$seen" = "$(printf 'TLvFilterImage LvFltImg 38\nunregistered')" ] || fail "host saw: $seen"
  ;;
*) fail "unknown check $how" ;;
esac
echo "$how: ok"
