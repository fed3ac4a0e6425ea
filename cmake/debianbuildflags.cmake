# Builds with Debian's own compiler and linker flags, as dpkg-buildflags gives them with every
# hardening feature on (stack protector, fortified functions, RELRO and BIND_NOW; PIE is the
# compiler's default), so that every binary the package installs is built the way Debian builds
# its packages. Included before any target exists, so that it reaches all of them.
#
# Sanitizer, fuzzing and unoptimised builds keep their own flags: fortification needs
# optimisation and only gets in the sanitizers' way.
find_program(KESTRION_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(KESTRION_DPKG_BUILDFLAGS)

set(default OFF)
if(KESTRION_DPKG_BUILDFLAGS AND NOT KESTRION_SANITIZE AND NOT KESTRION_FUZZ
        AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(default ON)
endif()
option(KESTRION_DEBIAN_BUILDFLAGS "Build with the flags of dpkg-buildflags, hardening included"
    ${default})
unset(default)

if(KESTRION_DEBIAN_BUILDFLAGS)
    if(NOT KESTRION_DPKG_BUILDFLAGS)
        message(FATAL_ERROR "KESTRION_DEBIAN_BUILDFLAGS needs dpkg-buildflags (package dpkg-dev)")
    endif()
    # debian_buildflag(NAME VARIABLE): the flag set NAME, run from the source folder so that
    # its file-prefix map makes the recorded source paths relative, as in Debian's builds.
    function(debian_buildflag name variable)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${KESTRION_DPKG_BUILDFLAGS} --get ${name}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
        set(${variable} "${flags}" PARENT_SCOPE)
    endfunction()
    debian_buildflag(CPPFLAGS cppflags)
    debian_buildflag(CXXFLAGS cxxflags)
    debian_buildflag(LDFLAGS ldflags)
    string(APPEND CMAKE_CXX_FLAGS " ${cppflags} ${cxxflags}")
    foreach(kind EXE SHARED MODULE)
        string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${ldflags}")
    endforeach()
    message(STATUS "Debian build flags: ${cppflags} ${cxxflags} ${ldflags}")
endif()
