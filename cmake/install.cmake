# Desktop integration for `make install`: the application folder's resources
# and version file (see layout.cmake), the link to the program, the desktop
# entry that makes Corvane a handler of web links, and its icon. The
# executables carry their own install() rules. Everything lands in one prefix
# the user owns, so installing needs no root, and the application can replace
# itself when it updates.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local" CACHE PATH "Installation prefix" FORCE)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/
  DESTINATION ${CORVANE_INSTALL_DATADIR}/corvane
  PATTERN corvane.desktop EXCLUDE
  PATTERN package EXCLUDE)

# The short version string an update compares with.
file(WRITE ${PROJECT_BINARY_DIR}/install/version "${PROJECT_VERSION}\n")
install(FILES ${PROJECT_BINARY_DIR}/install/version DESTINATION ${CORVANE_APP_FOLDER})

# The key updates must be signed with travels inside the folder, so an update
# can bring the next key along; the program falls back on the one built in.
if(CORVANE_UPDATE_PUBLIC_KEY)
  file(WRITE ${PROJECT_BINARY_DIR}/install/updates.pub "${CORVANE_UPDATE_PUBLIC_KEY}\n")
  install(FILES ${PROJECT_BINARY_DIR}/install/updates.pub DESTINATION ${CORVANE_INSTALL_DATADIR}/corvane)
else()
  file(REMOVE ${PROJECT_BINARY_DIR}/install/updates.pub)
endif()

# Relative links, so a staged install (DESTDIR, make release) stays valid.
install(CODE [[
  foreach(program corvane corvane-route)
    set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${program}")
    if(EXISTS "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/Corvane.app/bin/${program}")
      file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
      file(REMOVE "${link}")
      file(CREATE_LINK "../lib/Corvane.app/bin/${program}" "${link}" SYMBOLIC)
      message(STATUS "Installing: ${link} -> ../lib/Corvane.app/bin/${program}")
    endif()
  endforeach()
]])

install(FILES ${PROJECT_SOURCE_DIR}/resources/corvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  COMPONENT desktop)

# The entry's Exec names the installed binary by its absolute path, which is
# known only at install time: `cmake --install --prefix` may choose it then.
install(CODE "
  set(CORVANE_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/corvane.desktop\")
  set(CORVANE_DESKTOP_WORK \"${PROJECT_BINARY_DIR}/install\")
  set(CORVANE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(CORVANE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
" COMPONENT desktop)
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install_desktop_entry.cmake COMPONENT desktop)
