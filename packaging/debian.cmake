# The Debian packages, one per install component: cpack -G DEB in a built
# tree (packaging/build-deb.sh makes one). They always install under /usr;
# the library lands in the multiarch folder when the tree was configured
# with -DCMAKE_INSTALL_PREFIX=/usr, in /usr/lib otherwise.

set(VOK_DEB_RELEASE 1)
set(VOK_DEB_VERSION ${VOKL_VERSION}-${VOK_DEB_RELEASE})
set(VOK_PACKAGE_CONTACT "VOK developers <vok@example.com>" CACHE STRING "Maintainer of the Debian packages")

# Package name of each component.
set(VOK_DEB_NAME_lib libvokl${VOKL_SOVERSION})
set(VOK_DEB_NAME_dev libvokl-dev)
set(VOK_DEB_NAME_cli vokcli)
set(VOK_DEB_NAME_app vok)

# Every package carries the copyright file and the Debian changelog in its own
# /usr/share/doc folder. A plain `cmake --install` leaves them out.
set(VOK_DEB_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog)
file(STRINGS ${VOK_DEB_CHANGELOG} VOK_DEB_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VOK_DEB_CHANGELOG_TOP MATCHES "\\(${VOK_DEB_VERSION}\\)")
  message(WARNING "packaging/debian/changelog does not start with version ${VOK_DEB_VERSION}")
endif()
if(VOK_GZIP)
  set(VOK_DEB_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${VOK_DEB_CHANGELOG_GZ}
    COMMAND ${VOK_GZIP} -9 -n -c ${VOK_DEB_CHANGELOG} > ${VOK_DEB_CHANGELOG_GZ}
    DEPENDS ${VOK_DEB_CHANGELOG})
  add_custom_target(vok_deb_changelog ALL DEPENDS ${VOK_DEB_CHANGELOG_GZ})
  foreach(component ${VOK_PACKAGE_COMPONENTS})
    set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${VOK_DEB_NAME_${component}})
    install(FILES debian/copyright DESTINATION ${docdir} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${VOK_DEB_CHANGELOG_GZ} DESTINATION ${docdir} COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()

set(CPACK_PACKAGE_NAME vok)
set(CPACK_PACKAGE_VENDOR "VOK developers")
set(CPACK_PACKAGE_VERSION ${VOKL_VERSION})
set(CPACK_PACKAGE_CONTACT "${VOK_PACKAGE_CONTACT}")
set(CPACK_COMPONENTS_ALL ${VOK_PACKAGE_COMPONENTS})
set(CPACK_STRIP_FILES ON)
# Installed with DESTDIR under /usr, whatever the tree's own prefix, so that
# install-time code (vokl.pc) sees the prefix the package installs to.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VOK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on system libraries from dpkg-shlibdeps; the library's own
# package is named by hand, since it is not installed while packaging.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(VOK_DEPENDS_ON_LIB "${VOK_DEB_NAME_lib} (>= ${VOKL_VERSION})")

foreach(component ${VOK_PACKAGE_COMPONENTS})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${VOK_DEB_NAME_${component}})
endforeach()

set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# ldconfig runs by trigger. (CPack still adds postinst/postrm scripts that
# call ldconfig themselves, which is harmless.)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers)
set(CPACK_COMPONENT_LIB_DESCRIPTION "Shift-JIS <-> Fujitsu JEF/EBCDIC file conversion library
libvokl converts Shift-JIS text files on a PC to and from files of a
Fujitsu mainframe, where double-byte kanji are coded in JEF and single-byte
characters in EBCDIC, also record by record with zoned and packed decimal
fields, and makes record patterns from COBOL copybooks.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${VOK_DEB_NAME_lib} (= ${VOK_DEB_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Shift-JIS <-> Fujitsu JEF/EBCDIC file conversion library (development files)
libvokl converts Shift-JIS text files on a PC to and from files of a
Fujitsu mainframe (JEF kanji, EBCDIC) and makes record patterns from COBOL
copybooks.
.
This package holds the C header vokl.h, the pkg-config file vokl.pc and the
CMake package (find_package(vokl) gives the target vokl::vokl).")

set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "${VOK_DEPENDS_ON_LIB}")
set(CPACK_COMPONENT_CLI_DESCRIPTION "Shift-JIS <-> Fujitsu JEF/EBCDIC file converter for the command line
vokcli converts Shift-JIS text files on a PC to and from files of a Fujitsu
mainframe (JEF kanji, EBCDIC), as a run of bytes or record by record with a
record pattern, and makes record patterns from COBOL copybooks, for batch
jobs. It does the jobs of the desktop program vok.")

if(TARGET vok)
  set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
  # The library is opened at run time (libvokl.so.1), so dpkg-shlibdeps
  # cannot see it; without a platform plugin Qt cannot show the window.
  set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "${VOK_DEPENDS_ON_LIB}, qt6-qpa-plugins")
  # Japanese glyphs, and Japanese texts in Qt's own dialogs (file dialog, buttons).
  set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
  set(CPACK_COMPONENT_APP_DESCRIPTION "Shift-JIS <-> Fujitsu JEF/EBCDIC file converter (desktop program)
vok converts Shift-JIS text files on a PC to and from files of a Fujitsu
mainframe (JEF kanji, EBCDIC), as a run of bytes or record by record with a
record pattern, and makes record patterns from COBOL copybooks, in one
window with three tabs (in Japanese).")
endif()

include(CPack)
