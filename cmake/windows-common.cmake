# What both mingw-w64 toolchains share. Expects DECKHAND_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DECKHAND_MINGW_TRIPLET})

find_program(DECKHAND_MINGW_CXX NAMES ${DECKHAND_MINGW_TRIPLET}-g++-posix
                                      ${DECKHAND_MINGW_TRIPLET}-g++ REQUIRED)
find_program(DECKHAND_MINGW_CC NAMES ${DECKHAND_MINGW_TRIPLET}-gcc-posix
                                     ${DECKHAND_MINGW_TRIPLET}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${DECKHAND_MINGW_CXX})
set(CMAKE_C_COMPILER ${DECKHAND_MINGW_CC})
set(CMAKE_RC_COMPILER ${DECKHAND_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DECKHAND_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and DLL of the build carries its C and C++ runtimes and the thread runtime
# inside it, so a test program runs under Wine, and the DLL next to a host, with system DLLs
# alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
