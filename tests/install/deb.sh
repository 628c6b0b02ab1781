#!/bin/sh
# deb.sh SOURCE BUILD WORK VERSION: makes the Debian package from the build
# tree, installs it with dpkg into a throwaway root (never into this
# machine), uses it as a user would and removes it again.
#   - the package has a section, a maintainer, a description, and
#     dependencies found from the libraries its programs and modules use;
#   - installed, lvfilter is on the PATH and works outside the source tree,
#     and `man lvfilter` shows its page;
#   - removed, it leaves nothing behind.
set -eu
src=$1 build=$2 work=$3 version=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
unset LD_LIBRARY_PATH

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$work/package/tessorin_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"

for field in Section Maintainer Description Depends; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the package has no $field"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libpng16-16 libjpeg62-turbo; do
  printf '%s\n' "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done
dpkg-deb -c "$deb" | grep '\./usr/share/doc/tessorin/copyright$' >/dev/null || fail "no copyright file"
if command -v lintian >/dev/null; then lintian "$deb" || true; fi

# A root of its own, with an empty package database.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
as_root=""  # or fakeroot, which runs the program dpkg
[ "$(id -u)" = 0 ] || as_root=fakeroot
# Its dependencies are this machine's, not the throwaway root's. The
# maintainer scripts run here, not inside the empty root, with an ldconfig
# that leaves this machine's linker cache alone.
mkdir -p "$work/stubs"
printf '#!/bin/sh\necho "ldconfig $*" >>"%s"\n' "$work/ldconfig.log" >"$work/stubs/ldconfig"
chmod +x "$work/stubs/ldconfig"
# Path filters in this machine's dpkg configuration (a slim image's
# path-exclude of manual pages and documents) do not apply to the check.
dpkg() { PATH=$work/stubs:$PATH ${as_root:-command} dpkg --root="$root" --force-script-chrootless --path-include='/*' "$@"; }
dpkg --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; exit 1; }
find "$root/usr" -type f | grep -q . || fail "nothing installed"

mkdir -p "$work/elsewhere"
(
  cd "$work/elsewhere"
  PATH=$root/usr/bin:$PATH
  [ "$(command -v lvfilter)" = "$root/usr/bin/lvfilter" ] || fail "lvfilter is not on the PATH"
  lvfilter "$src/samples/picture.bmp" "$src/samples/vignette.bmp" -o out.png --yes
  [ -s out.png ] || fail "lvfilter wrote nothing"
  [ "$(pkgtool palette)" = "$(printf 'Lorvane\tTLvFilterImage\tLvFltImg')" ] || fail "pkgtool palette"
  # The design host finds the installed package by itself.
  if [ -x "$root/usr/bin/lvdesign" ]; then
    [ "$(lvdesign --actions palette)" = "$(printf 'Lorvane\tTLvFilterImage')" ] || fail "lvdesign --actions palette"
  fi
  MANPATH=$root/usr/share/man MANPAGER=cat LC_ALL=C.UTF-8 man lvfilter >man.txt 2>man.err ||
    { cat man.err; fail "man lvfilter"; }
  grep -q "EXIT STATUS" man.txt || fail "man lvfilter shows no page"
)

dpkg -r tessorin >>"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; exit 1; }
left=$(find "$root" -mindepth 1 ! -path "$root/var" ! -path "$root/var/lib" ! -path "$root/var/lib/dpkg*")
[ -z "$left" ] || fail "removing the package left: $left"
echo "$(basename "$deb"): installed, used and removed"
