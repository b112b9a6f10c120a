# Shared settings for every target of the project.

# Our own code builds warning-free; third-party headers come in as system includes.
function(qk_target_defaults target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                 QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
    if(QK_FUZZ)
        # Coverage for the fuzzers reaches into our libraries too.
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(QK_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(QK_TSAN)
        target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=thread)
    endif()
endfunction()

# qk_add_library(name SOURCES ... [LIBS ...])
function(qk_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    # Headers are included from the top of the tree ("surface/editsurface.h"),
    # so that an include says which layer it reaches into.
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    qk_target_defaults(${name})
endfunction()

# qk_add_test(name LABEL label SOURCES ... [LIBS ...] [TIMEOUT s])
# Every test runs headless: the offscreen platform, and Chromium's sandbox off
# because CI and the developers' machines run the suite as root.
function(qk_add_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    qk_target_defaults(${name})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(QK_TSAN)
        # Qt, GLib and Chromium are not built with ThreadSanitizer: what their
        # own code does is not ours to check (their locks are invisible to it,
        # so their hand-overs read as races), and QProcess forks a threaded test.
        list(APPEND ARG_ENVIRONMENT "TSAN_OPTIONS=ignore_noninstrumented_modules=1:die_after_fork=0")
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABEL}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QT_LOGGING_RULES=qt.webenginecontext.debug=false;${ARG_ENVIRONMENT}")
endfunction()

# qk_add_fuzz(name SOURCE file CORPUS dir LIBS ... LABEL label)
# Every build replays the seed corpus through the target as a CTest test
# (label "fuzz"); with QK_FUZZ on (clang), a libFuzzer binary fuzz_<name> is built too.
function(qk_add_fuzz name)
    cmake_parse_arguments(ARG "" "SOURCE;CORPUS;LABEL" "LIBS" ${ARGN})
    add_executable(replay_${name} ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/cmake/fuzz_replay.cpp)
    target_link_libraries(replay_${name} PRIVATE ${ARG_LIBS})
    qk_target_defaults(replay_${name})
    add_test(NAME fuzz_${name} COMMAND replay_${name} ${ARG_CORPUS})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS "fuzz;${ARG_LABEL}")
    if(QK_FUZZ)
        add_executable(fuzz_${name} ${ARG_SOURCE})
        target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
        target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined -g -O1)
        target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    endif()
endfunction()

# qk_no_library(test suffix pattern what): a test beside it, with its labels,
# that fails when the test's program loads a library matching pattern,
# itself or through a library it links.
function(qk_no_library name suffix pattern what)
    find_program(QK_LDD ldd)
    if(NOT QK_LDD)
        return()
    endif()
    get_test_property(${name} LABELS labels)
    add_test(NAME ${name}_${suffix}
             COMMAND ${CMAKE_COMMAND} -DLDD=${QK_LDD} -DPROGRAM=$<TARGET_FILE:${name}> -DPATTERN=${pattern}
                     "-DWHAT=${what}" -P ${PROJECT_SOURCE_DIR}/cmake/nolibrary.cmake)
    set_tests_properties(${name}_${suffix} PROPERTIES LABELS "${labels}")
endfunction()

# qk_no_engine(test): the test's program loads no Qt WebEngine: the dialogs
# reach the page only through the surface's contract.
function(qk_no_engine name)
    qk_no_library(${name} links_no_engine "WebEngine" "Qt WebEngine")
endfunction()

# qk_no_widgets(test): the test's program loads neither Qt Widgets nor Qt
# Gui: what it tests runs without a window.
function(qk_no_widgets name)
    qk_no_library(${name} links_no_widgets "libQt6(Widgets|Gui)" "Qt Widgets or Qt Gui")
endfunction()
