# cmake -DROOT=dir -P fileurls.cmake: fails when program code outside pathrel/
# handles file URLs or "file://" references itself. The rules for them (what
# a page's reference names, how it is written relative to the page) live in
# one place, so that the save, the surface and the site agree. Tests and
# benchmarks may hold file URLs as data.
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/*.cpp" "${ROOT}/*.h")
set(found)
foreach(source IN LISTS sources)
    if(source MATCHES "^(pathrel|build[^/]*|bench)/" OR source MATCHES "/tests/")
        continue()
    endif()
    file(STRINGS "${ROOT}/${source}" lines REGEX "fromLocalFile|isLocalFile|toLocalFile|[\"'][Ff][Ii][Ll][Ee]:")
    if(lines)
        list(APPEND found "${source}")
    endif()
endforeach()
if(found)
    message(FATAL_ERROR "file URLs handled outside pathrel/ in: ${found}")
endif()
message(STATUS "file URLs are handled in pathrel/ only")
