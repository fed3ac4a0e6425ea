# Install rules and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

# Folders are made 0755 whatever the umask of whoever installs or packages: a group-writable
# folder in the package is an error to lintian and a hole on the user's system.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(KESTRION_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTRION_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/resources)
set(KESTRION_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

install(TARGETS kestrion-shell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The print helper goes where only the launcher's PATH finds it: named pdftocairo, it must not
# stand in front of the platform's pdftocairo for anything else.
set(KESTRION_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/kestrion-shell)
install(TARGETS kestrion-print-helper RUNTIME DESTINATION ${KESTRION_HELPER_DIR})

# The program reads splash.png and keeps ip.txt in its working directory, so the desktop entry
# runs a launcher that starts it in a folder of the user's own. The launcher finds the program
# and the splash image relative to itself, which keeps the package relocatable.
file(RELATIVE_PATH KESTRION_BIN_TO_DATA
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/kestrion-shell)
file(RELATIVE_PATH KESTRION_BIN_TO_HELPER
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${KESTRION_HELPER_DIR})
configure_file(${KESTRION_PACKAGING_DIR}/kestrion-shell-launcher.in
    packaging/kestrion-shell-launcher @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/packaging/kestrion-shell-launcher
    DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KESTRION_RESOURCES_DIR}/splash.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrion-shell)

install(FILES ${KESTRION_PACKAGING_DIR}/kestrion-shell.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128 256)
    install(FILES ${KESTRION_RESOURCES_DIR}/kestrion-${size}.png
        DESTINATION ${KESTRION_ICON_DIR}/${size}x${size}/apps RENAME kestrion-shell.png)
endforeach()
install(FILES ${KESTRION_RESOURCES_DIR}/kestrion.svg
    DESTINATION ${KESTRION_ICON_DIR}/scalable/apps RENAME kestrion-shell.svg)

# The changelog holds the history; its latest entry must be the version declared in project(),
# and it dates the release for the man page and the AppStream metadata.
set(KESTRION_CHANGELOG ${KESTRION_PACKAGING_DIR}/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KESTRION_CHANGELOG})
file(STRINGS ${KESTRION_CHANGELOG} changelog_heading LIMIT_COUNT 1)
file(STRINGS ${KESTRION_CHANGELOG} changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_heading MATCHES "^kestrion-shell \\(([^)]+)\\) ")
    message(FATAL_ERROR "${KESTRION_CHANGELOG}: the first line is no changelog heading")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "${KESTRION_CHANGELOG}: the latest entry is for ${CMAKE_MATCH_1}, "
        "the project is at ${PROJECT_VERSION}: add an entry for it")
endif()
if(NOT changelog_trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
    message(FATAL_ERROR "${KESTRION_CHANGELOG}: the latest entry has no date")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
if(month EQUAL -1)
    message(FATAL_ERROR "${KESTRION_CHANGELOG}: the latest entry's month is unknown")
endif()
# 101 to 112, of which the last two digits are the month.
math(EXPR month "${month} + 101")
string(SUBSTRING ${month} 1 2 month)
set(KESTRION_RELEASE_DATE ${year}-${month}-${day})

# One page describes both commands; the launcher's name links to it. The page names installed
# paths, so it is written at install time, when the prefix is known.
find_program(KESTRION_GZIP gzip REQUIRED)
mark_as_advanced(KESTRION_GZIP)
set(man_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging/man1)
install(CODE "
    set(KESTRION_MAN_TEMPLATE [[${KESTRION_PACKAGING_DIR}/kestrion-shell.1.in]])
    set(KESTRION_MAN_DIR [[${man_dir}]])
    set(KESTRION_GZIP [[${KESTRION_GZIP}]])
    set(KESTRION_DATADIR [[${CMAKE_INSTALL_DATADIR}]])
    set(KESTRION_LIBEXECDIR [[${CMAKE_INSTALL_LIBEXECDIR}]])
    set(KESTRION_RELEASE_DATE [[${KESTRION_RELEASE_DATE}]])
    set(PROJECT_VERSION [[${PROJECT_VERSION}]])
    include([[${PROJECT_SOURCE_DIR}/cmake/man-page.cmake]])
")
install(FILES ${man_dir}/kestrion-shell.1.gz ${man_dir}/kestrion-shell-launcher.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The README is the user's guide; its pictures keep their place beside it so that its links work.
# The changelog is compressed like the man page.
set(KESTRION_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrion-shell)
execute_process(COMMAND ${KESTRION_GZIP} -9n -c ${KESTRION_CHANGELOG}
    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES
    ${PROJECT_SOURCE_DIR}/README.md
    ${KESTRION_PACKAGING_DIR}/copyright
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${KESTRION_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${KESTRION_DOC_DIR}/docs
    FILES_MATCHING PATTERN "*.png")

# Software centres read this; its screenshots must be web addresses, so they point at the
# published copy of docs/.
set(KESTRION_HOMEPAGE "https://example.org/kestrion-shell"
    CACHE STRING "Where the project and its docs/ folder are published")
set(KESTRION_APPSTREAM_ID org.example.kestrion_shell)
configure_file(${KESTRION_PACKAGING_DIR}/kestrion-shell.metainfo.xml.in
    packaging/${KESTRION_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${KESTRION_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_PACKAGE_CONTACT "Kestrion shell developers <kestrion-shell@example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrion-shell)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "desktop shell for the touch interface of Kestrion instruments")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the touch web interface of a Kestrion laboratory instrument in one
window and takes over its downloads: files are saved where the user chooses,
print jobs go through a print dialog to a CUPS printer or a PDF file, and zip
archives are unpacked with 7za.")
# CPack splits the debug symbols of every installed binary off into kestrion-shell-dbgsym (a
# .ddeb beside the .deb) and strips the binaries; a script before it drops the compiler's notes,
# one after it mends the debug package.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-drop-notes.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-mend-dbgsym.cmake)
set(CPACK_KESTRION_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Both packages name their source, so that lintian checks them as one.
set(CPACK_DEBIAN_PACKAGE_SOURCE kestrion-shell)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Started by name after a download: pdftocairo prints, 7za unpacks. The print helper hands every
# call but the print dialog to the platform's pdftocairo, and writes PDF files with it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "p7zip-full, poppler-utils")
# Printing to paper needs a CUPS scheduler, on this machine or named by CUPS_SERVER; printing to
# a PDF file works without one. With glxinfo the launcher tells OpenGL drawn in software, where
# the window is better drawn without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, mesa-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
