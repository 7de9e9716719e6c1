# `make package`: a Debian package of the same install as `make install`, with
# the prefix /usr. The programs stay in their application folder
# /usr/lib/Corvane.app, with /usr/bin/corvane and /usr/bin/corvane-route links
# into it. Dependencies come from the shared libraries the programs load
# (dpkg-shlibdeps), plus the xdg tools the desktop integration runs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT "The Corvane developers <${CORVANE_SUPPORT_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "open every link in the right browser profile")
set(CPACK_PACKAGE_DESCRIPTION
  "Corvane takes the place of the default web browser and hands every link to a\n"
  "profile of the browser, chosen by the user's ordered rules (a domain, an exact\n"
  "host or the start of an address). A link no rule claims goes to the default\n"
  "profile or waits for a keyboard-driven picker beside the pointer. Redirect\n"
  "pages, click trackers and link shorteners are taken off first.\n"
  "\n"
  "The package includes corvane-route, which routes links against the rules\n"
  "from a terminal.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CORVANE_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-inter")
# Corvane routes to one of these; which one is the user's choice.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
  "chromium | google-chrome-stable | brave-browser | vivaldi-stable | microsoft-edge-stable, firefox-esr | firefox")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/resources/package/postinst ${PROJECT_SOURCE_DIR}/resources/package/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What only the package holds (`make install` leaves it out): the copyright
# file and the changelog Debian asks of every package, and the mark that
# tells Corvane the package manager brings its updates.
set(CPACK_CORVANE_COPYRIGHT ${PROJECT_SOURCE_DIR}/resources/package/copyright)
set(CPACK_CORVANE_CHANGELOG ${PROJECT_BINARY_DIR}/desktop-files/changelog)
set(CPACK_CORVANE_APP_FOLDER ${CORVANE_APP_FOLDER})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_extras.cmake)
include(CPack)
