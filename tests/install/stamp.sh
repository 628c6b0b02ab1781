#!/bin/sh
# stamp.sh SOURCE STAGE WORK CXX: builds examples/stamp, the program made
# from a form designed in lvdesign, against the installation in STAGE, and
# runs it as its user would:
#   - without a display it reads its form and says there is none (status 1);
#   - on a virtual display of its own, a click stamps the filter centred on
#     the point clicked: what the window shows is lvfilter's picture for the
#     same offset, pixel for pixel; closing the window ends it with status 0.
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

for tool in xvfb-run xdotool xwd convert compare; do
  command -v $tool >/dev/null || { echo "stamp: no $tool, the window is not checked"; exit 0; }
done
"$cxx" -o "$work/closewindow" "$src/tests/install/closewindow.cpp" -lX11

# The stamp is 64 x 64, centred on the click at (100, 80).
"$stage/bin/lvfilter" "$src/samples/picture.bmp" "$src/samples/stamp.bmp" -o "$work/expected.png" \
  --top 48 --left 68 --yes >/dev/null

cat >"$work/session.sh" <<SESSION
set -eu
"$stamp" >"$work/stamp.out" 2>&1 &
pid=\$!
window=\$(timeout 20 xdotool search --sync --onlyvisible --name '^Stamp\$' | head -n 1)
xdotool mousemove --window "\$window" 100 80 click 1
# The window shows the stamp at once; give the X server a moment to draw it.
for try in 1 2 3 4 5 6 7 8 9 10; do
  xwd -id "\$window" -silent | convert xwd:- "$work/shown.png"
  [ "\$(compare -metric AE "$work/shown.png" "$work/expected.png" null: 2>&1 || true)" = 0 ] && break
  sleep 0.3
done
"$work/closewindow" "\$window"
status=0
wait \$pid || status=\$?
echo "\$status" >"$work/status"
SESSION
xvfb-run -a -s "-screen 0 640x480x24" sh "$work/session.sh" || fail "the session failed: $(cat "$work/stamp.out" 2>/dev/null)"
differ=$(compare -metric AE "$work/shown.png" "$work/expected.png" null: 2>&1 || true)
[ "$differ" = 0 ] || fail "the window differs from lvfilter's picture in $differ pixels ($work/shown.png)"
[ "$(cat "$work/status")" = 0 ] || fail "closing the window: status $(cat "$work/status"): $(cat "$work/stamp.out")"
echo "stamp: ok"
