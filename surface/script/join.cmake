# cmake -DOUTPUT=file -DPARTS=a|b|... -DIDS=ids.js -P join.cmake
# Joins the script's modules, in the order given, into the one script the
# surface loads. Every DECMD.X or DECMDF.X a module names must be in the
# generated table: an unknown name would be undefined at run time, silently.
#
# The joined script leaves out indentation, blank lines and lines that are
# only a comment, a third of its size: the engine keeps the text in several
# copies in both processes. Lines stay lines, so no statement joins another.
# This is sound because the modules have no text that spans lines (template
# literals, strings continued with a backslash, block comments).
string(REPLACE "|" ";" parts "${PARTS}")
list(GET parts -1 parts_last)
file(READ "${IDS}" ids)
set(script "")
foreach(part IN LISTS parts)
    file(READ "${part}" text)
    string(REGEX MATCHALL "DECMDF?\\.[A-Za-z_0-9]+" uses "${text}")
    list(REMOVE_DUPLICATES uses)
    foreach(use IN LISTS uses)
        string(REPLACE "." ";" use_parts "${use}")
        list(GET use_parts 0 table)
        list(GET use_parts 1 name)
        if(NOT ids MATCHES "const ${table} = [^\n]*[{ ]${name}: ")
            message(FATAL_ERROR "${part}: ${use} is not in the table made from surface/editsurface.h")
        endif()
    endforeach()
    string(APPEND script "${text}")
    if(NOT part STREQUAL parts_last)
        string(APPEND script "\n")
    endif()
endforeach()
string(REGEX REPLACE "\n[ \t]+" "\n" script "\n${script}")
string(REGEX REPLACE "\n//[^\n]*" "" script "${script}")
string(REGEX REPLACE "\n\n+" "\n" script "${script}")
string(REGEX REPLACE "^\n" "" script "${script}")
foreach(spanning "`" "\\\\\n" "(^|[^\\\\])/\\*([^*\n]|\\*+[^*/\n])*\\**\n")
    if(script MATCHES "${spanning}")
        message(FATAL_ERROR "the script has text that spans lines (${spanning}): keep it out, or join the script as it is")
    endif()
endforeach()
file(WRITE "${OUTPUT}" "${script}")
