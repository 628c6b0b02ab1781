#!/bin/sh
# stamp.sh SOURCE STAGE WORK CXX: builds examples/stamp, the program made
# from a form designed in lvdesign, against the installation in STAGE, and
# runs it as its user would:
#   - without a display it reads its form and says there is none (status 1);
#   - on a virtual display of its own, a click stamps the filter centred on
#     the point clicked, and closing the window ends it (stamp-window.sh).
set -eu
src=$1 stage=$2 work=$3 cxx=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
unset LD_LIBRARY_PATH

cmake -S "$src/examples/stamp" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_PREFIX_PATH="$stage" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
stamp=$work/build/stamp

status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$stamp" 2>"$work/headless.err" || status=$?
[ "$status" = 1 ] || fail "without a display: status $status"
grep -qx "stamp: Stamp: cannot show the form: no display" "$work/headless.err" ||
  fail "without a display it said: $(cat "$work/headless.err")"

sh "$src/tests/install/stamp-window.sh" "$work/window" "$stage/bin/lvfilter" "$stamp"
echo "stamp: ok"
