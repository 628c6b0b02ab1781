#!/bin/sh
# staged.sh SOURCE BUILD STAGE VERSION: installs the build tree into the
# folder STAGE, as `cmake --install` does for a user, and checks what lands
# there: the modules alone in their folder, exactly the public headers and
# nothing they cannot find, programs that run from there on their own.
set -eu
src=$1 build=$2 stage=$3 version=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
same() { [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"; }

rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
unset LD_LIBRARY_PATH
cd "$stage"

same "lib/" "$(ls lib | tr '\n' ' ')" "cmake pkgconfig tessorin "
same "lib/tessorin/" "$(ls lib/tessorin | tr '\n' ' ')" "Tessorin.bpl vcl40.bpl "
for f in lib/cmake/Tessorin/TessorinConfig.cmake lib/cmake/Tessorin/TessorinConfigVersion.cmake \
         lib/pkgconfig/tessorin.pc share/doc/tessorin/README.md share/doc/tessorin/copyright \
         share/man/man1/lvfilter.1.gz share/man/man1/pkgtool.1.gz share/man/man1/lvview.1.gz \
         share/man/man1/lvdesign.1.gz; do
  [ -s "$f" ] || fail "$f not installed"
done

# The headers: the framework units and LvFltImg.hpp, each include of ours
# found among them.
expected=$( (cd "$src/platform/include" && ls *.hpp; echo LvFltImg.hpp) | sort | tr '\n' ' ')
same "include/tessorin/" "$(ls include/tessorin | sort | tr '\n' ' ')" "$expected"
grep -ho '#include "[^"]*"' include/tessorin/*.hpp | sed 's/#include "\(.*\)"/\1/' | sort -u |
while read -r header; do
  [ -f "include/tessorin/$header" ] || fail "an installed header includes $header, which is not installed"
done

# Every program runs from the installed tree and tells the build's version.
for tool in bin/*; do
  same "$tool --version" "$("$tool" --version)" "$(basename "$tool") $version"
done
# pkgtool finds the installed package by itself, and the package's version
# block agrees with the programs.
same "pkgtool palette" "$(bin/pkgtool palette)" "$(printf 'Lorvane\tTLvFilterImage\tLvFltImg')"
bin/pkgtool info | grep -q "^version: $version\.0 " || fail "pkgtool info: the package's version is not $version.0"
echo "installed into $stage"
