# Desktop integration for `make install`: the resources, the desktop entry
# that makes Corvane a handler of web links, and its icon. The executables
# carry their own install() rules. Everything lands in one prefix the user
# owns, so installing needs no root.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local" CACHE PATH "Installation prefix" FORCE)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane
  PATTERN corvane.desktop EXCLUDE)

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
