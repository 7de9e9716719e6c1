# Runs inside cpack, after the install was staged and before the package is
# made (CPACK_PRE_BUILD_SCRIPTS): adds what only the package holds.

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

# The application folder's "packaged" file names the package format; Corvane
# then never replaces itself and says that its updates come from the package.
file(WRITE "${root}/${CPACK_CORVANE_APP_FOLDER}/packaged" "deb\n")

set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_CORVANE_COPYRIGHT}" "${doc}/copyright")
file(COPY_FILE "${CPACK_CORVANE_CHANGELOG}" "${doc}/changelog")
execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
