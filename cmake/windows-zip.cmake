# Builds the ZIP that Windows users unpack next to their host:
#   cmake -DDLL=... [-DHOST=...] -DSTRIP=... -DSOURCE_DIR=... -DSTAGE_DIR=... -DZIP=...
#         -P windows-zip.cmake
# It holds the DLL and, when HOST is given, deckhand.exe to try it with, both without their
# debugging symbols, the example card sets when the source tree has them (not the IRC bot's
# settings, which are for Linux), INSTALL.txt and LICENSE.txt with Windows line ends. The files
# lie at the ZIP's top, with no folder around them: "Extract All" to C:\deckhand, as INSTALL.txt
# says, puts them straight in C:\deckhand.
foreach(required DLL STRIP SOURCE_DIR STAGE_DIR ZIP)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "windows-zip.cmake needs -D${required}=...")
  endif()
endforeach()

set(top ${STAGE_DIR}/files)
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${top})

execute_process(COMMAND ${STRIP} --strip-all -o ${top}/deckhand.dll ${DLL}
                RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "cannot strip ${DLL}")
endif()

if(DEFINED HOST)
  execute_process(COMMAND ${STRIP} --strip-all -o ${top}/deckhand.exe ${HOST}
                  RESULT_VARIABLE stripped)
  if(NOT stripped EQUAL 0)
    message(FATAL_ERROR "cannot strip ${HOST}")
  endif()
endif()

file(READ ${SOURCE_DIR}/packaging/windows/INSTALL.txt text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${top}/INSTALL.txt "${text}")
file(READ ${SOURCE_DIR}/LICENSE text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${top}/LICENSE.txt "${text}")

file(GLOB examples ${SOURCE_DIR}/examples/*.ini)
list(FILTER examples EXCLUDE REGEX "/deckhand-irc\\.ini$")
if(examples)
  file(COPY ${examples} DESTINATION ${top}/examples)
endif()

file(REMOVE ${ZIP})
file(GLOB entries RELATIVE ${top} ${top}/*)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${entries}
                WORKING_DIRECTORY ${top} RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "cannot write ${ZIP}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing)
message(STATUS "Wrote ${ZIP}:\n${listing}")
