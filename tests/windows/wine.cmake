# Windows builds made on Linux: GoogleTest built from source with the cross compiler, and every
# test program run under Wine through run-under-wine.sh.
set(DECKHAND_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest sources, built with the cross compiler")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# GoogleTest's own Win32 locking, rather than the POSIX thread layer.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${DECKHAND_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The Wine that runs programs of this build's word size. Debian keeps the 64-bit loader out of
# PATH, under /usr/lib/wine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(DECKHAND_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
  if(NOT DECKHAND_WINE)
    find_program(DECKHAND_WINE NAMES wine)
  endif()
else()
  find_program(DECKHAND_WINE NAMES wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh
    ${CMAKE_BINARY_DIR}/wine-prefix ${DECKHAND_WINE})

include(GoogleTest)

# Each process that Wine starts costs a good part of a second, so a test program runs as one
# CTest test, whole; GoogleTest lists its cases in the test's output. This stands in for the
# per-case discovery of the native builds, so test programs are declared the same way in both.
function(gtest_discover_tests target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200)
endfunction()
