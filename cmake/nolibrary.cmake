# cmake -DLDD=ldd -DPROGRAM=file -DPATTERN=regex -DWHAT=name -P nolibrary.cmake:
# fails when the program loads a library whose path matches the pattern.
execute_process(COMMAND ${LDD} ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "ldd could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "[^\n\t ]*${PATTERN}[^\n\t ]*" found "${libraries}")
if(found)
    list(REMOVE_DUPLICATES found)
    message(FATAL_ERROR "${PROGRAM} loads ${WHAT}: ${found}")
endif()
message(STATUS "${PROGRAM} loads no ${WHAT} library")
