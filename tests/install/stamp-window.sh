#!/bin/sh
# stamp-window.sh WORK LVFILTER STAMP...: runs the stamp program (the command
# STAMP...) on a virtual display of its own as its user would. A click at
# (100, 80) stamps the 64 x 64 filter centred there: what the window shows
# must be, pixel for pixel, the picture LVFILTER (a command too) makes for
# the same offset. Closing the window, as a window manager asks, must end
# the program with status 0. Used for the installed program and for the
# Windows one under Wine alike; with TESSORIN_TEST_DISPLAY=1 it uses the
# display it is given (Wine's programs share one), otherwise one of its own.
set -eu
work=$1 lvfilter=$2
shift 2
src=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in xvfb-run xdotool xwd convert compare c++; do
  command -v $tool >/dev/null || { echo "stamp-window: no $tool, the window is not checked"; exit 0; }
done
mkdir -p "$work"
c++ -o "$work/closewindow" "$src/tests/install/closewindow.cpp" -lX11
cp "$src/samples/picture.bmp" "$src/samples/stamp.bmp" "$work/"
(cd "$work" && $lvfilter picture.bmp stamp.bmp -o expected.bmp --top 48 --left 68 --yes >/dev/null)

printf '%s\n' "$@" >"$work/command"
cat >"$work/session.sh" <<SESSION
set -eu
cd "$work"
"\$@" >stamp.out 2>&1 &
pid=\$!
window=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Stamp\$' | head -n 1)
xdotool mousemove --window "\$window" 100 80 click 1
# The window shows the stamp at once; the X server may take a moment.
for try in 1 2 3 4 5 6 7 8 9 10; do
  xwd -id "\$window" -silent | convert xwd:- shown.png
  [ "\$(compare -metric AE shown.png expected.bmp null: 2>&1 || true)" = 0 ] && break
  sleep 0.3
done
./closewindow "\$window"
status=0
wait \$pid || status=\$?
echo "\$status" >status
SESSION
rm -f "$work/status"
if [ "${TESSORIN_TEST_DISPLAY:-}" = 1 ]; then
  sh "$work/session.sh" "$@"
else
  xvfb-run -a -s "-screen 0 640x480x24" sh "$work/session.sh" "$@"
fi || fail "the session failed: $(cat "$work/stamp.out" 2>/dev/null)"
differ=$(compare -metric AE "$work/shown.png" "$work/expected.bmp" null: 2>&1 || true)
[ "$differ" = 0 ] || fail "the window differs from lvfilter's picture in $differ pixels ($work/shown.png)"
[ "$(cat "$work/status")" = 0 ] || fail "closing the window: status $(cat "$work/status"): $(cat "$work/stamp.out")"
echo "stamp-window: ok"
