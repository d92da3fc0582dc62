# Cross-compiles for 32-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-i686-posix): one set of
# programs for every Windows from Vista on, 32-bit and 64-bit (where they run under WoW64, with the
# file-system redirection the repair turns off). The posix thread model is the one whose standard
# library has std::mutex and std::thread, which the tests use. Test programs run under Wine, so
# CTest starts each of them through wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TALVRIN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TALVRIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVRIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVRIN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW-w64 tree only, never from the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${TALVRIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes, the thread library and zlib are linked into each .exe, so the
# programs run on a bare Windows without MinGW's DLLs beside them. No instruction set beyond
# the i686's is assumed (the vector kernels are x86-64's; here the one-pixel forms run).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

# The 32-bit Wine (wine32:i386) runs the 32-bit programs, in a 64-bit prefix under WoW64.
find_program(TALVRIN_WINE NAMES wine)
if(TALVRIN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TALVRIN_WINE})
endif()

# pkg-config sees MinGW-w64's packages only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${TALVRIN_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
