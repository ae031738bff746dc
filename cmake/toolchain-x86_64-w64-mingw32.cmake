# Cross build for 64-bit Windows with mingw-w64. Hosts load the 32-bit DLL; this build exists so
# that the same code and tests run under a 64-bit Wine on machines that cannot run 32-bit
# programs at all.
set(DECKHAND_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-common.cmake)
