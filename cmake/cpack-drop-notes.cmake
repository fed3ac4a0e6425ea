# Run by CPack on the staged files before the package is made: takes the compiler's version
# notes (.comment, .note) out of every ELF file, as Debian's own strip step does. The debug
# symbols are split off into the -dbgsym package afterwards by CPack itself.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS staged)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
        execute_process(
            COMMAND "${CPACK_KESTRION_OBJCOPY}" --remove-section=.comment --remove-section=.note
                    "${file}"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
