# What the desktop, software centres and shells read besides the desktop entry
# (install.cmake): the icon in every usual size, the AppStream metainfo, the
# manual pages and the completions of corvane-route. Made at build time from
# the sources in resources/package/ and docs/man/, installed into the prefix's
# share/ folder by `make install` and the package alike.

set(CORVANE_HOMEPAGE_URL "https://corvane.invalid/" CACHE STRING
  "The project's web site, named in the AppStream metainfo")
set(CORVANE_SCREENSHOT_URL "${CORVANE_HOMEPAGE_URL}screenshots/" CACHE STRING
  "Where the pictures of `make previews` (docs/screenshots) are published")

set(package_sources ${PROJECT_SOURCE_DIR}/resources/package)
set(generated ${PROJECT_BINARY_DIR}/desktop-files)
file(MAKE_DIRECTORY ${generated})

# The release list, newest first: "version date summary" per line. Read when
# configuring, so an edit configures again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${package_sources}/releases.txt)
file(STRINGS ${package_sources}/releases.txt release_lines REGEX "^[0-9]")
list(GET release_lines 0 newest)
string(REGEX MATCH "^[^ ]+" newest_version "${newest}")
if(NOT newest_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "resources/package/releases.txt starts with ${newest_version}; "
    "add a line for ${PROJECT_VERSION}, the project version")
endif()
set(CORVANE_APPSTREAM_RELEASES "")
set(CORVANE_DEBIAN_CHANGELOG "")
foreach(line IN LISTS release_lines)
  if(NOT line MATCHES "^([^ ]+) ([0-9]+-[0-9]+-[0-9]+) (.+)$")
    message(FATAL_ERROR "resources/package/releases.txt: cannot read \"${line}\"")
  endif()
  set(version ${CMAKE_MATCH_1})
  set(date ${CMAKE_MATCH_2})
  set(summary ${CMAKE_MATCH_3})
  string(REPLACE "&" "&amp;" summary_xml "${summary}")
  string(REPLACE "<" "&lt;" summary_xml "${summary_xml}")
  string(APPEND CORVANE_APPSTREAM_RELEASES
    "    <release version=\"${version}\" date=\"${date}\">\n"
    "      <description><p>${summary_xml}</p></description>\n    </release>\n")
  # Debian wants the date as RFC 5322 (noon UTC: the day is what counts).
  execute_process(COMMAND date -u -R -d "${date} 12:00 UTC" OUTPUT_VARIABLE rfc_date
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(APPEND CORVANE_DEBIAN_CHANGELOG
    "corvane (${version}) unstable; urgency=medium\n\n  * ${summary}\n\n"
    " -- The Corvane developers <${CORVANE_SUPPORT_EMAIL}>  ${rfc_date}\n\n")
endforeach()
string(STRIP "${CORVANE_APPSTREAM_RELEASES}" CORVANE_APPSTREAM_RELEASES)
string(PREPEND CORVANE_APPSTREAM_RELEASES "    ")
string(STRIP "${CORVANE_DEBIAN_CHANGELOG}" CORVANE_DEBIAN_CHANGELOG)
file(WRITE ${generated}/changelog "${CORVANE_DEBIAN_CHANGELOG}\n")

set(metainfo io.github.corvane.Corvane.metainfo.xml)
configure_file(${package_sources}/${metainfo}.in ${generated}/${metainfo} @ONLY)
install(FILES ${generated}/${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)

# The icon: the scalable drawing, and bitmaps in the sizes desktops and
# software centres look up.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_source ${PROJECT_SOURCE_DIR}/resources/corvane.svg)
set(icon_outputs "")
foreach(size 16 22 24 32 48 64 128 256 512)
  set(png ${generated}/icons/${size}x${size}/corvane.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --format png --output ${png} ${icon_source}
    DEPENDS ${icon_source} VERBATIM)
  list(APPEND icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    COMPONENT desktop)
endforeach()

# Manual pages, from scdoc to roff, compressed as Debian keeps them.
find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)
set(man_outputs "")
foreach(page corvane.1 corvane-route.1)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.scd)
  set(roff ${generated}/man/${page})
  add_custom_command(OUTPUT ${roff}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/man
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\" && \"$3\" -9nf \"$2\"" ${SCDOC} ${source} ${roff} ${GZIP}
    DEPENDS ${source} VERBATIM)
  list(APPEND man_outputs ${roff}.gz)
  install(FILES ${roff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT desktop)
endforeach()

add_custom_target(corvane_desktop_files ALL DEPENDS ${icon_outputs} ${man_outputs})

# Completions, each where its shell looks in the prefix's share/ folder.
set(completions ${package_sources}/completions)
install(FILES ${completions}/corvane-route.bash RENAME corvane-route
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT desktop)
install(FILES ${completions}/_corvane-route
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT desktop)
install(FILES ${completions}/corvane-route.fish
  DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT desktop)
