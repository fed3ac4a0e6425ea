# Run by CPack once the packages are made. CPack 3.25 writes the -dbgsym package with md5sums
# that name the staging paths, with executable .debug files and without a documentation
# folder. This makes it like Debian's own debug packages: md5sums relative to the root, the
# files not executable, and its documentation folder a link to the main package's, which holds
# the copyright and the changelog.
find_program(KESTRION_DPKG_DEB dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.ddeb$")
        continue()
    endif()
    set(tree "${package}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND "${KESTRION_DPKG_DEB}" --raw-extract "${package}" "${tree}"
        COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND "${KESTRION_DPKG_DEB}" --field "${package}" Package
        OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "-dbgsym$" "" main_package "${name}")

    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
    set(md5sums "")
    foreach(file IN LISTS files)
        file(CHMOD "${tree}/${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        file(MD5 "${tree}/${file}" sum)
        string(APPEND md5sums "${sum}  ${file}\n")
    endforeach()
    file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")
    file(MAKE_DIRECTORY "${tree}/usr/share/doc")
    file(CREATE_LINK "${main_package}" "${tree}/usr/share/doc/${name}" SYMBOLIC)

    execute_process(COMMAND "${KESTRION_DPKG_DEB}" --root-owner-group --build "${tree}" "${package}"
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
