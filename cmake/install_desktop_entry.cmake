# Runs at install time (see install.cmake): writes corvane.desktop with the
# installed binary in its Exec line.

set(exec "${CMAKE_INSTALL_PREFIX}/${CORVANE_BINDIR}/corvane")
# A path with characters the Exec syntax reserves is quoted, with the quoting
# escapes, and then the backslashes doubled once more as every desktop-entry
# value needs.
if(exec MATCHES "[ \t\n\"'\\\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "\"${exec}\"")
endif()
# A literal "%" would start a field code, quoted or not.
string(REPLACE "%" "%%" exec "${exec}")

set(CORVANE_EXEC "${exec}")
# One work folder per destination: installs into two prefixes at once (the
# tests do) must not write each other's entry.
string(MD5 destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(work "${CORVANE_DESKTOP_WORK}/${destination}")
configure_file("${CORVANE_DESKTOP_TEMPLATE}" "${work}/corvane.desktop" @ONLY)
file(INSTALL "${work}/corvane.desktop"
  DESTINATION "${CMAKE_INSTALL_PREFIX}/${CORVANE_DATADIR}/applications")
