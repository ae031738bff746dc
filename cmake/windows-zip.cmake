# Builds the ZIP that Windows users unpack next to their host:
#   cmake -DDLL=... -DSTRIP=... -DSOURCE_DIR=... -DSTAGE_DIR=... -DZIP=... -P windows-zip.cmake
# It holds the DLL without its debugging symbols, the example card sets when the source tree has
# them, and INSTALL.txt with Windows line ends.
foreach(required DLL STRIP SOURCE_DIR STAGE_DIR ZIP)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "windows-zip.cmake needs -D${required}=...")
  endif()
endforeach()

set(top ${STAGE_DIR}/deckhand)
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${top})

execute_process(COMMAND ${STRIP} --strip-all -o ${top}/deckhand.dll ${DLL}
                RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "cannot strip ${DLL}")
endif()

file(READ ${SOURCE_DIR}/packaging/windows/INSTALL.txt text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${top}/INSTALL.txt "${text}")
file(READ ${SOURCE_DIR}/LICENSE text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${top}/LICENSE.txt "${text}")

file(GLOB examples ${SOURCE_DIR}/examples/*.ini)
if(examples)
  file(COPY ${examples} DESTINATION ${top}/examples)
endif()

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip deckhand
                WORKING_DIRECTORY ${STAGE_DIR} RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "cannot write ${ZIP}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing)
message(STATUS "Wrote ${ZIP}:\n${listing}")
