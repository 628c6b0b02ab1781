#!/bin/sh
# The project's main job on the shipped samples: the 8-bit picture is
# blended with the vignette by the filter image component; then the stored
# form samples/demo.dfm is opened and clicked as a script.
set -eu
cd "$(dirname "$0")/.."
mkdir -p out

answer=""
if [ ! -t 0 ]; then
  answer="--yes"
  echo "No terminal attached: answering OK to the 24-bit conversion question (--yes)."
fi

build/bin/lvfilter samples/picture.bmp samples/vignette.bmp -o out/demo.png \
  --screenshot out/demo-screen.png $answer

echo "Blended samples/vignette.bmp into samples/picture.bmp (8-bit, converted to 24-bit) at row 0, column 0."
echo "  out/demo.png         the picture's bitmap after the blend"
echo "  out/demo-screen.png  what the control shows on its form"

build/bin/lvview --form samples/demo.dfm --click 100,80 --screenshot out/demo-form.png \
  --save-form out/demo-form.txt $answer
echo "Opened the stored form samples/demo.dfm and clicked at (100, 80): the vignette is stamped there."
echo "  out/demo-form.png    what the form shows after the click"
echo "  out/demo-form.txt    the form stored again, as text (build/bin/pkgtool form prints any form file)"
