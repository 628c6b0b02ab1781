# What `cmake --install` puts where: the modules under lib/tessorin with
# their framework names, the programs, the public headers (the framework
# units and LvFltImg.hpp, nothing from a src/ folder), a CMake package and a
# pkg-config file for users' programs, the manual pages and the documents.
include(CMakePackageConfigHelpers)

set(TESSORIN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessorin)
set(TESSORIN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessorin)
set(TESSORIN_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tessorin)

install(TARGETS vcl40 Tessorin EXPORT TessorinTargets
        LIBRARY DESTINATION ${TESSORIN_INSTALL_MODULEDIR}
        INCLUDES DESTINATION ${TESSORIN_INSTALL_INCLUDEDIR})
# pkgtool is also the tool that links forms into users' programs.
install(TARGETS pkgtool EXPORT TessorinTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(TESSORIN_PROGRAMS lvfilter)
if(TARGET lvview)
  list(APPEND TESSORIN_PROGRAMS lvview)
endif()
if(TARGET lvdesign)
  list(APPEND TESSORIN_PROGRAMS lvdesign)
endif()
install(TARGETS ${TESSORIN_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB TESSORIN_PLATFORM_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/include/*.hpp)
install(FILES ${TESSORIN_PLATFORM_HEADERS} ${PROJECT_SOURCE_DIR}/component/LvFltImg.hpp
        DESTINATION ${TESSORIN_INSTALL_INCLUDEDIR})

install(EXPORT TessorinTargets NAMESPACE Tessorin:: DESTINATION ${TESSORIN_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TessorinConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/TessorinConfig.cmake
                              INSTALL_DESTINATION ${TESSORIN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TessorinConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TessorinConfig.cmake ${CMAKE_BINARY_DIR}/TessorinConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/TessorinForms.cmake
        DESTINATION ${TESSORIN_INSTALL_CMAKEDIR})

# The pkg-config file finds its prefix from its own place, so a staged or
# moved installation works as well as the packaged one.
set(TESSORIN_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH TESSORIN_PC_TO_PREFIX /${TESSORIN_PC_DIR} /)
string(REGEX REPLACE "/$" "" TESSORIN_PC_TO_PREFIX "${TESSORIN_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessorin.pc.in ${CMAKE_BINARY_DIR}/tessorin.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tessorin.pc DESTINATION ${TESSORIN_PC_DIR})

# Manual pages are written in roff, given the version and installed compressed.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(TESSORIN_MANPAGES)
foreach(page lvfilter.1 pkgtool.1 lvview.1 lvdesign.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${GZIP_EXECUTABLE} -9nc ${CMAKE_BINARY_DIR}/man/${page} > ${compressed}
                     DEPENDS ${CMAKE_BINARY_DIR}/man/${page})
  list(APPEND TESSORIN_MANPAGES ${compressed})
endforeach()
add_custom_target(manpages ALL DEPENDS ${TESSORIN_MANPAGES})
install(FILES ${TESSORIN_MANPAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The change log in Debian's format, compressed as Debian keeps it.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND ${GZIP_EXECUTABLE} -9nc ${PROJECT_SOURCE_DIR}/CHANGELOG > ${CMAKE_BINARY_DIR}/changelog.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${TESSORIN_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${TESSORIN_INSTALL_DOCDIR} RENAME copyright)
