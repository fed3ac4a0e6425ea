# Install rules and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

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

# One page describes both commands; the launcher's name links to it.
configure_file(${KESTRION_PACKAGING_DIR}/kestrion-shell.1.in packaging/kestrion-shell.1 @ONLY)
file(CREATE_LINK kestrion-shell.1 ${CMAKE_CURRENT_BINARY_DIR}/packaging/kestrion-shell-launcher.1
    SYMBOLIC)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/kestrion-shell.1
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/kestrion-shell-launcher.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_CONTACT "Kestrion shell developers <kestrion-shell@example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrion-shell)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "desktop shell for the touch interface of Kestrion instruments")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the touch web interface of a Kestrion laboratory instrument in one
window and takes over its downloads: files are saved where the user chooses,
print jobs go to pdftocairo and zip archives are unpacked with 7za.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Started by name after a download: pdftocairo prints, 7za unpacks. The print helper hands every
# call but the print dialog to the platform's pdftocairo, and writes PDF files with it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "p7zip-full, poppler-utils")
# Printing to paper needs a CUPS scheduler, on this machine or named by CUPS_SERVER; printing to
# a PDF file works without one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
