# Run at install time, when the prefix is known: writes the man page with the paths it is
# installed under, compressed as Debian wants it (gzip -9n: no name, no time stamp, so the same
# text always gives the same file), and the launcher's name as a link to it.
# Expects KESTRION_MAN_TEMPLATE, KESTRION_MAN_DIR, KESTRION_GZIP, KESTRION_DATADIR,
# KESTRION_LIBEXECDIR, KESTRION_RELEASE_DATE and PROJECT_VERSION.

# man_text(VARIABLE TEXT): TEXT with each hyphen written as groff's minus, so that a path on the
# page is neither broken at the end of a line nor copied from it with a typographic hyphen.
function(man_text variable text)
    string(REPLACE "-" "\\-" escaped "${text}")
    set(${variable} "${escaped}" PARENT_SCOPE)
endfunction()

cmake_path(ABSOLUTE_PATH KESTRION_DATADIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
    OUTPUT_VARIABLE datadir)
cmake_path(ABSOLUTE_PATH KESTRION_LIBEXECDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
    OUTPUT_VARIABLE libexecdir)
man_text(KESTRION_MAN_DATA_DIR "${datadir}/kestrion-shell")
man_text(KESTRION_MAN_DOC_DIR "${datadir}/doc/kestrion-shell")
man_text(KESTRION_MAN_HELPER_DIR "${libexecdir}/kestrion-shell")
man_text(KESTRION_MAN_RELEASE_DATE "${KESTRION_RELEASE_DATE}")

configure_file("${KESTRION_MAN_TEMPLATE}" "${KESTRION_MAN_DIR}/kestrion-shell.1" @ONLY)
execute_process(COMMAND "${KESTRION_GZIP}" -9n -c "${KESTRION_MAN_DIR}/kestrion-shell.1"
    OUTPUT_FILE "${KESTRION_MAN_DIR}/kestrion-shell.1.gz" COMMAND_ERROR_IS_FATAL ANY)
file(CREATE_LINK kestrion-shell.1.gz "${KESTRION_MAN_DIR}/kestrion-shell-launcher.1.gz" SYMBOLIC)
