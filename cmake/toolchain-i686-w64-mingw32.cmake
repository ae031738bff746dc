# Cross build for 32-bit Windows with mingw-w64: the DLL that hosts load.
#
# The posix thread flavour of the compiler is preferred, since it gives the standard library its
# whole thread support; the runtimes are linked statically (see windows-common.cmake) so that
# neither libstdc++, libgcc nor the thread runtime becomes a DLL the user must ship.
set(DECKHAND_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-common.cmake)
