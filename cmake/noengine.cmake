# cmake -DLDD=ldd -DPROGRAM=file -P noengine.cmake: fails when the program
# loads a Qt WebEngine library.
execute_process(COMMAND ${LDD} ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "ldd could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "[^\n\t ]*WebEngine[^\n\t ]*" engine "${libraries}")
if(engine)
    list(REMOVE_DUPLICATES engine)
    message(FATAL_ERROR "${PROGRAM} loads Qt WebEngine: ${engine}")
endif()
message(STATUS "${PROGRAM} loads no Qt WebEngine library")
