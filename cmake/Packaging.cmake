# The Debian package, made by CPack from the install rules: `make package`
# writes build/tessorin_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessorin)
set(CPACK_PACKAGE_VENDOR "The Tessorin developers")
set(CPACK_PACKAGE_CONTACT "Tessorin developers <tessorin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image control that blends a filter picture into its picture")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessorin is a component package with one image control, TLvFilterImage,
which holds a filter bitmap besides its picture and blends it into the
picture at a row and column offset. It comes with the framework modules it
stands on, their C++ headers, a CMake package and a pkg-config file for
programs that use it, and four tools: lvfilter filters picture files,
lvview shows the control in a window, lvdesign places it on forms from its
palette page and pkgtool inspects the package.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the shared libraries the programs and modules use;
# our own modules are found in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# The design host's text is set in DejaVu Sans, and falls back on a plain
# built-in font without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
set(CPACK_STRIP_FILES ON)
include(CPack)
