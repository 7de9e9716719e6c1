# Where `make install` puts Corvane: one application folder, <prefix>/lib/Corvane.app,
# holding bin/ (every program), share/corvane/ (the resources) and a one-line
# `version` file. The folder is moved or replaced as a whole (updates swap it),
# so the programs find everything relative to their own folder.
# <prefix>/bin/corvane is a symbolic link into it; the desktop entry and its
# icon stay in <prefix>/share where the desktop looks for them.
#
# Every program installed to the bin folder uses CORVANE_INSTALL_BINDIR:
#   install(TARGETS name RUNTIME DESTINATION ${CORVANE_INSTALL_BINDIR})

set(CORVANE_APP_FOLDER lib/Corvane.app)
set(CORVANE_INSTALL_BINDIR ${CORVANE_APP_FOLDER}/bin)
set(CORVANE_INSTALL_DATADIR ${CORVANE_APP_FOLDER}/share)

# Runs before anything is copied: an application folder from an earlier
# install is replaced as a whole, so no file of an older version survives, and
# the loose programs and resources of the layout before the application folder
# are taken away. Files of other programs in the prefix are left alone.
install(CODE [[
  set(corvane_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  file(REMOVE_RECURSE "${corvane_root}/lib/Corvane.app")
  foreach(program corvane corvane-bridge corvane-route)
    if(EXISTS "${corvane_root}/bin/${program}" AND NOT IS_SYMLINK "${corvane_root}/bin/${program}")
      file(REMOVE "${corvane_root}/bin/${program}")
    endif()
  endforeach()
  file(REMOVE_RECURSE "${corvane_root}/share/corvane/extension")
  file(REMOVE "${corvane_root}/share/corvane/corvane.svg")
  if(IS_DIRECTORY "${corvane_root}/share/corvane")
    file(GLOB corvane_left "${corvane_root}/share/corvane/*")
    if(NOT corvane_left)
      file(REMOVE_RECURSE "${corvane_root}/share/corvane")
    endif()
  endif()
]])
