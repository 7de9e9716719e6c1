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
configure_file("${CORVANE_DESKTOP_TEMPLATE}" "${CORVANE_DESKTOP_WORK}/corvane.desktop" @ONLY)
file(INSTALL "${CORVANE_DESKTOP_WORK}/corvane.desktop"
  DESTINATION "${CMAKE_INSTALL_PREFIX}/${CORVANE_DATADIR}/applications")
