# The Debian package of the tool set: `cpack -G DEB` in the build folder
# packs everything `cmake --install` installs (programs, libraries with their
# SONAME links, headers, CMake package and pkg-config files, message
# catalogues, manual pages) under /usr.  The package's dependencies are
# computed from the shared libraries its programs and libraries link, with
# dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QSVF_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QSVF tools developers <qsvf-tools@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "translate SVF boundary-scan files into QSVF player streams")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# The extended description; CPack puts the summary above it and indents it
# as the control file wants (an empty line separates paragraphs).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "svf2qsvf reads a vector file in SVF (Serial Vector Format) and writes QSVF,
the compact binary command stream that a small player on a board executes
against the TAP pins of a JTAG (IEEE 1149.1) scan chain.  MergeQSVF joins
QSVF streams, qsvf2ascii lists one as text, and svf2qsvf96 is the earlier
translator with compression of incrementing scans.

The package also holds the tool family's support libraries libLmr_Util and
libLmr_Zutils with their headers, CMake package and pkg-config files.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own libraries: a shlibs file for packages built against
# them, and the ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
