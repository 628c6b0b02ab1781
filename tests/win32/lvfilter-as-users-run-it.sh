#!/bin/sh
# lvfilter on Windows as its users run it. With no display at all, --yes
# and --no answer the question without a window, and with neither the
# question counts as declined. A path from the drive's root is a path, not
# an option.
# Arguments: a scratch folder, then the command that runs lvfilter.
set -u
Scratch=$1
shift
mkdir -p "$Scratch" && cd "$Scratch" || exit 1
rm -f yes.png no.png none.png
convert -size 40x30 xc:red -type Palette BMP3:pic8.bmp && convert -size 20x20 xc:gray PNG24:vig.png || exit 1
Failed=0
check() {  # wanted status, output, then the options
  Wanted=$1 Output=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY "$@" >out.txt 2>&1
  Status=$?
  if [ "$Status" -ne "$Wanted" ]; then
    echo "$*: status $Status, wanted $Wanted"; cat out.txt; Failed=1
  fi
  if grep -q "Success" out.txt; then echo "$*: a failure reported as success"; cat out.txt; Failed=1; fi
  if [ "$Wanted" -eq 0 ] && [ ! -s "$Output" ]; then echo "$*: $Output not written"; Failed=1; fi
  if [ "$Wanted" -ne 0 ] && [ -e "$Output" ]; then echo "$*: $Output written"; Failed=1; fi
}
check 0 yes.png "$@" pic8.bmp vig.png -o yes.png --yes
check 3 no.png "$@" pic8.bmp vig.png -o no.png --no
check 3 none.png "$@" pic8.bmp vig.png -o none.png
"$@" /nonexistent/pic.bmp vig.png -o root.png >out.txt 2>&1
Status=$?
if [ "$Status" -ne 2 ] || ! grep -q "/nonexistent/pic.bmp: " out.txt; then
  echo "/nonexistent/pic.bmp: status $Status"; cat out.txt; Failed=1
fi
exit $Failed
