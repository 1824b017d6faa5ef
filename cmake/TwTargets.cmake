# Shared settings and helpers for every target of the build.

# tw_target(<target> [NO_SANITIZE])
# Warnings (as errors: only our own targets come through here, never third-party code), Windows
# definitions and, in the native and fuzz builds, the sanitizers. Benchmarks opt out of the
# sanitizers so that their figures mean something.
function(tw_target target)
    cmake_parse_arguments(ARG "NO_SANITIZE" "" "" ${ARGN})
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter -Werror)
    if(WIN32)
        # ANSI code page and the -A Win32 functions everywhere: every stored format is ANSI/OEM bytes.
        target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501
                                                     WINVER=0x0501 _WIN32_IE=0x0600)
        # No identical-code folding: on i686 it has merged a member function (this in ECX) with a
        # same-bodied std::function invoker (arguments on the stack), and the merged call crashed.
        target_compile_options(${target} PRIVATE -fno-ipa-icf)
    endif()
    if(NOT ARG_NO_SANITIZE)
        if(TW_SANITIZE)
            target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                     -fno-sanitize-recover=undefined)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        elseif(TW_LIBFUZZER)
            target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                                     -fno-omit-frame-pointer)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        endif()
    endif()
endfunction()

# tw_add_test_dir(<name> <dir> [SERIAL] LIBS <libs...> WIN_LIBS <libs...>)
# One GoogleTest executable per test folder. Files ending in "Win_test.cpp" are Win32-only;
# every other test file is portable and also runs in the native sanitizer build. Shared test
# code lives in files ending in "Support.cpp" ("WinSupport.cpp" for Win32-only helpers).
# SERIAL tests run alone: they use what the whole session shares (the foreground window).
function(tw_add_test_dir name dir)
    cmake_parse_arguments(ARG "SERIAL" "" "LIBS;WIN_LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    file(GLOB helpers CONFIGURE_DEPENDS ${dir}/*Support.cpp)
    if(NOT WIN32)
        list(FILTER sources EXCLUDE REGEX "Win_test\\.cpp$")
        list(FILTER helpers EXCLUDE REGEX "WinSupport\\.cpp$")
    endif()
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources} ${helpers})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${dir})
    target_compile_definitions(${name} PRIVATE TW_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                               TW_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(WIN32)
        target_link_libraries(${name} PRIVATE ${ARG_WIN_LIBS})
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tw_test_main)
    tw_target(${name})
    set(serial FALSE)
    if(ARG_SERIAL)
        set(serial TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${name}" RUN_SERIAL ${serial})
endfunction()
