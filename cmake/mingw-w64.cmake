# Cross-builds the Windows edition with mingw-w64 (Debian's g++-mingw-w64-x86-64-posix): 64-bit,
# POSIX threads (std::thread, std::mutex), and the compiler's runtime linked in, so a program is
# one .exe that needs only the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUEND_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUEND_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUEND_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUEND_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUEND_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside the program instead of DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built tests run under Wine. The 64-bit loader is called directly: Debian's `wine` wrapper
# asks for the 32-bit half, which a 64-bit program does not need.
find_program(QUEND_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(QUEND_WINE64 NAMES wine64 wine)
if(QUEND_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUEND_WINE64})
endif()
