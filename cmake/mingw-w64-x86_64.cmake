# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix threads variant, whose
# C++ runtime has std::thread). The programs and tests it builds run under Wine here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVRIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRIN_MINGW_PREFIX}-windres)

# Libraries and headers for Windows come from the MinGW tree; header-only libraries (Eigen,
# CLI11, nlohmann-json) are taken from the host's packages, where nothing is compiled.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The C++ runtime, winpthreads and libgcc go into each executable, so that Wine (or a Windows
# machine) needs no MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TAVRIN_WINE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(TAVRIN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIN_WINE})
endif()

set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")
set(Eigen3_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")
set(ZLIB_USE_STATIC_LIBS ON)
