#!/bin/sh
# The Windows programs as their users run them. With no display at all,
# --yes and --no answer the question without a window, and with neither the
# question counts as declined. A path from the drive's root is a path, not
# an option. The outputs of a run appear all or none; names in any script
# and paths past the classic length limit work everywhere; a broken JPEG is
# refused; a Linux module is read.
# Arguments: a scratch folder, the command that runs a Windows program, and
# the folder of the programs.
set -u
Scratch=$1 Run=$2 Bin=$3
Here=$(cd "$(dirname "$0")" && pwd)
# The programs work in a folder of their own; what they say goes beside it.
rm -rf "$Scratch" && mkdir -p "$Scratch/work" && cd "$Scratch/work" || exit 1
Said=$Scratch/out.txt
convert -size 40x30 xc:red -type Palette BMP3:pic8.bmp && convert -size 40x30 gradient: PNG24:pic.png &&
  convert -size 20x20 xc:gray PNG24:vig.png || exit 1
Failed=0
fail() { echo "$*"; cat "$Said"; Failed=1; }
# Runs a program without a display: its status, and what it said in $Said.
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY "$Run" "$Bin/$@" >"$Said" 2>&1
}
check() {  # wanted status, output, then the program and its options
  Wanted=$1 Output=$2
  shift 2
  run "$@"
  Status=$?
  [ "$Status" -eq "$Wanted" ] || fail "$*: status $Status, wanted $Wanted"
  if grep -q "Success" "$Said"; then fail "$*: a failure reported as success"; fi
  if [ "$Wanted" -eq 0 ] && [ ! -s "$Output" ]; then fail "$*: $Output not written"; fi
  if [ "$Wanted" -ne 0 ] && [ -e "$Output" ]; then fail "$*: $Output written"; fi
}
check 0 yes.png lvfilter.exe pic8.bmp vig.png -o yes.png --yes
check 3 no.png lvfilter.exe pic8.bmp vig.png -o no.png --no
check 3 none.png lvfilter.exe pic8.bmp vig.png -o none.png
run lvfilter.exe /nonexistent/pic.bmp vig.png -o root.png
Status=$?
if [ "$Status" -ne 2 ] || ! grep -q "/nonexistent/pic.bmp: " "$Said"; then fail "/nonexistent/pic.bmp: status $Status"; fi
run pkgtool.exe info /nonexistent/Tessorin.bpl
Status=$?
if [ "$Status" -ne 2 ] || ! grep -q "/nonexistent/Tessorin.bpl: " "$Said"; then fail "/nonexistent/Tessorin.bpl: status $Status"; fi

# A target that cannot be written, as the first or the second output of a
# run, leaves the folder exactly as it was: nothing created, nothing
# replaced. The held file is the Windows suite's (FilesTest).
echo old >old.png
echo old >old.txt
unchanged() {  # the program and its options, one of them a target that cannot be written
  Before=$(ls -A; cat old.png old.txt)
  run "$@" && fail "$*: status 0"
  [ "$(ls -A; cat old.png old.txt)" = "$Before" ] || fail "$*: the folder changed: $(ls -A | tr '\n' ' ')"
}
for Bad in 'b?' nul aux CON; do
  unchanged lvfilter.exe pic.png vig.png -o "$Bad.png" --screenshot old.png
  unchanged lvfilter.exe pic.png vig.png -o old.png --screenshot "$Bad.png"
  unchanged lvfilter.exe pic.png vig.png -o new.png --screenshot old.png --save-form "$Bad.dfm"
  unchanged lvview.exe pic.png vig.png --click 3,3 --screenshot "$Bad.png" --save-form old.txt
  unchanged lvview.exe pic.png vig.png --click 3,3 --screenshot old.png --save-form "$Bad.dfm"
done

# Names outside the ANSI code page, as inputs and as every kind of output,
# in messages, and in pkgtool; a Linux package module read on Windows.
cp pic8.bmp картинка.bmp && cp vig.png 滤镜.png || exit 1
check 0 результат.png lvfilter.exe картинка.bmp 滤镜.png -o результат.png --screenshot 截图.png --save-form форма.dfm --yes
[ -s 截图.png ] && [ -s форма.dfm ] || fail "the screenshot or the stored form is missing"
check 0 снимок.png lvview.exe --form форма.dfm --click 5,5 --screenshot снимок.png --save-form форма.txt
[ -s форма.txt ] || fail "форма.txt not written"
# One new file under two spellings, in a script with letter case.
check 2 Ж.png lvfilter.exe картинка.bmp 滤镜.png -o Ж.png --screenshot ж.png --yes
[ ! -e ж.png ] || fail "ж.png written"
check 2 e.png lvfilter.exe нет.bmp 滤镜.png -o e.png
grep -q "нет.bmp: " "$Said" || fail "the missing picture is not named as given"
check 0 значок.ico pkgtool.exe resource MAINICON -o значок.ico
tail -c +2 "$Here/../../fuzz/ModuleFile/fake-package.bpl" >модуль.bpl
check 0 модуль.bpl pkgtool.exe info модуль.bpl
grep -q "^name: модуль$" "$Said" && grep -q "^contains: FakeBase$" "$Said" || fail "pkgtool info модуль.bpl"

# JPEG through the system's codec: damaged data is refused as on Linux,
# where the codec would fill it with grey, and before the codec sees it;
# every kind of whole file still reads.
convert -size 96x80 plasma:fractal -quality 90 whole.jpg && convert whole.jpg -sampling-factor 1x1 444.jpg &&
  convert whole.jpg -define jpeg:restart-interval=2 restart.jpg && convert whole.jpg -interlace JPEG progressive.jpg &&
  convert whole.jpg -colorspace gray grey.jpg || exit 1
for Whole in whole 444 restart progressive; do  # half the file, then the end marker
  head -c $(($(wc -c <$Whole.jpg) / 2)) $Whole.jpg >cut-$Whole.jpg && printf '\377\331' >>cut-$Whole.jpg
done
# The frame's header claims 11000 x 11000 pixels (0x2AF8) for a few
# kilobytes of data.
for Whole in whole progressive; do
  Frame=$(od -An -tx1 -v $Whole.jpg | tr -s ' \n' '  ' | sed 's/^ //' | grep -ob 'ff c[02]' | head -1 | cut -d: -f1)
  cp $Whole.jpg huge-$Whole.jpg && printf '\052\370\052\370' |
    dd of=huge-$Whole.jpg bs=1 seek=$((Frame / 3 + 5)) conv=notrunc 2>/dev/null
done
for Picture in whole 444 restart progressive grey; do
  check 0 out-$Picture.bmp lvfilter.exe $Picture.jpg vig.png -o out-$Picture.bmp --yes
done
for Picture in cut-whole cut-444 cut-restart cut-progressive huge-whole huge-progressive; do
  check 2 out-$Picture.bmp lvfilter.exe $Picture.jpg vig.png -o out-$Picture.bmp
  grep -q "$Picture.jpg: JPEG decoding failed: Corrupt JPEG data" "$Said" || fail "$Picture.jpg: not refused as damaged"
done

# The programs and their modules in a folder of such a name: the package is
# found beside them, loaded, and its components registered.
mkdir -p программы && cp "$Bin"/*.bpl "$Bin"/*.dll "$Bin/lvfilter.exe" "$Bin/pkgtool.exe" программы/ || exit 1
Built=$Bin Bin=$PWD/программы
check 0 из-папки.png lvfilter.exe pic8.bmp vig.png -o из-папки.png --yes
run pkgtool.exe palette
grep -q "TLvFilterImage" "$Said" || fail "pkgtool.exe palette from программы"
Bin=$Built

# A folder whose path is past the classic limit of 260 characters.
Long=$(printf '%0100d' 0)
Deep=$Long/$Long/$Long
mkdir -p "$Deep" && cp pic.png "$Deep/" || exit 1
check 0 "$Deep/out.png" lvfilter.exe "$Deep/pic.png" vig.png -o "$Deep/out.png" --screenshot "$Deep/shot.png"
[ -s "$Deep/shot.png" ] || fail "the screenshot in the long folder is missing"

exit $Failed
