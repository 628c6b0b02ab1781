# The commands a user runs. Each installs what it is missing from Debian's
# packages first, so a fresh Debian 12 machine with git and make is enough.

BUILD_DEPS := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev \
              libbenchmark-dev libpng-dev libjpeg62-turbo-dev libisal-dev libcli11-dev libsdl2-dev libimgui-dev fonts-dejavu-core
# What CPack needs for the Debian package's dependencies (dpkg-shlibdeps).
PACKAGE_DEPS := dpkg-dev file
# What the tests drive the programs with: a virtual display for lvview's
# window, windres to read the package's resource file as Windows does, and
# for the Debian package installed into a throwaway root: dpkg as a
# non-root user may run it (fakeroot), and man shows its pages.
TEST_DEPS  := xvfb xauth xdotool x11-utils x11-apps imagemagick libx11-dev binutils-mingw-w64-i686 \
              $(PACKAGE_DEPS) fakeroot man-db
FUZZ_DEPS  := clang libclang-rt-14-dev
# Windows: the cross compiler, GoogleTest's sources, and Wine (32-bit, from
# the i386 architecture) with a virtual display to run the tests on.
WIN32_DEPS := g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest libcli11-dev cmake ninja-build
# The programs' windows are driven from this machine: xdotool, xwd and
# ImageMagick, and a small X client built here.
WIN32_TEST_DEPS := wine wine32:i386 xvfb xauth xdotool x11-apps imagemagick g++ libx11-dev
BENCH_DEPS := libopencv-dev imagemagick time bc

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

define install
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

.PHONY: all deps build test asan-test fuzz bench demo package win32 win32-test clean

all: build

deps:
	$(call install,$(BUILD_DEPS))

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default

test: build
	$(call install,$(TEST_DEPS))
	ctest --preset default

asan-test: deps
	$(call install,$(TEST_DEPS))
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

fuzz: deps
	$(call install,$(FUZZ_DEPS))
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz

bench: build
	$(call install,$(BENCH_DEPS))
	cmake --preset default >/dev/null
	cmake --build --preset default --target bench_filter
	build/bin/bench_filter
	sh bench/pictures.sh

# The Debian package: build/tessorin_<version>_<arch>.deb.
package: build
	$(call install,$(PACKAGE_DEPS))
	cmake --build --preset default --target package

# Only what the demo runs: lvfilter, lvview and the modules they load.
demo: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target lvfilter lvview
	@mkdir -p out
	@sh samples/demo.sh

# The same sources as 32-bit Windows modules and programs: build-win32/bin.
# The build runs its resource generator under Wine.
win32:
	@dpkg --print-foreign-architectures | grep -qx i386 || { echo "Adding the i386 architecture for wine32"; $(SUDO) dpkg --add-architecture i386; }
	$(call install,$(WIN32_DEPS) $(WIN32_TEST_DEPS))
	cmake --preset win32 >/dev/null
	cmake --build --preset win32

# The suites under Wine, on a virtual display of their own, which the
# message box tests need.
win32-test: win32
	xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'ctest --preset win32; status=$$?; WINEPREFIX=$$PWD/build-win32/wine wineserver -k 2>/dev/null; exit $$status'

clean:
	rm -rf build build-asan build-fuzz build-win32 out
