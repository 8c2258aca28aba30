# Compiler settings shared by every target of the project.

add_library(tavrin_options INTERFACE)
target_compile_options(tavrin_options INTERFACE -Wall -Wextra -Wpedantic)
if(TAVRIN_WERROR)
    target_compile_options(tavrin_options INTERFACE -Werror)
endif()

if(TAVRIN_SANITIZE)
    string(REPLACE "," ";" _sanitizers "${TAVRIN_SANITIZE}")
    foreach(_s IN LISTS _sanitizers)
        add_compile_options(-fsanitize=${_s})
        add_link_options(-fsanitize=${_s})
    endforeach()
    add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=all)
endif()

# The fuzz targets (fuzz/) need every library they reach built with coverage feedback and the
# sanitizers; only clang offers libFuzzer.
if(TAVRIN_BUILD_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TAVRIN_BUILD_FUZZ needs clang++: run scripts/fuzz")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

# Numeric code must give the same numbers whatever the compiler decides about
# fused multiply-add: link this into every target that computes samples or spectra.
add_library(tavrin_strict_fp INTERFACE)
target_compile_options(tavrin_strict_fp INTERFACE -ffp-contract=off)

# tavrin_executable_resources(<target>): on Windows, the manifest every program of ours carries.
if(WIN32)
    # windows.h without its min and max macros; Windows 10 and later.
    add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0A00)
    enable_language(RC)
    set(TAVRIN_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/windows/tavrin.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/tavrin.rc.in
                   ${PROJECT_BINARY_DIR}/tavrin.rc @ONLY)
endif()
function(tavrin_executable_resources target)
    if(WIN32)
        target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/tavrin.rc)
        set_property(SOURCE ${PROJECT_BINARY_DIR}/tavrin.rc APPEND PROPERTY OBJECT_DEPENDS
                     ${TAVRIN_MANIFEST})
    endif()
endfunction()

# tavrin_add_tests(<name> SOURCES ... LIBS ...): a GoogleTest executable registered with ctest.
function(tavrin_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tavrin_options GTest::gtest GTest::gtest_main)
    tavrin_executable_resources(${name})
    if(CMAKE_CROSSCOMPILING)
        # Under an emulator (Wine) every start costs a second or more: one ctest per program
        # rather than one per test case.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
