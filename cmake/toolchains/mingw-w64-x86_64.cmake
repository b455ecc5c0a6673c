# Cross-builds for 64-bit Windows with Debian's mingw-w64 (the posix-threads
# compilers, which have std::thread and std::mutex).  Everything links the
# GCC runtime and winpthread statically, so the programs and DLLs need
# nothing beyond the system's own DLLs; tests run under wine when it is
# installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALKWIRE_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${TALKWIRE_MINGW_TRIPLE}-gcc-posix ${TALKWIRE_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TALKWIRE_MINGW_TRIPLE}-g++-posix ${TALKWIRE_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TALKWIRE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TALKWIRE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libstdc++, libgcc and libwinpthread from their archives.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# ctest runs each test program through wine.
find_program(TALKWIRE_WINE NAMES wine64 wine)
if(TALKWIRE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALKWIRE_WINE})
endif()
