# The voice SDK the product links: the stand-in built from voicesdk/ (the
# default), or another build of the SDK's library named by
# TALKWIRE_SDK_LIBRARY.  Either way the target is called `voicesdk`, so the
# product's own CMake files do not change.  Without the stand-in there is no
# control module, no simulated service, no demo and none of the tests that
# script the SDK; TALKWIRE_STAND_IN says which it is.

set(TALKWIRE_SDK_LIBRARY "" CACHE FILEPATH
    "Another voice SDK library to link instead of the stand-in (a shared library with a SONAME; on Windows its import library)")
set(TALKWIRE_SDK_INCLUDE_DIR "${CMAKE_SOURCE_DIR}/voicesdk/include" CACHE PATH
    "The SDK's public headers, for TALKWIRE_SDK_LIBRARY")
set(TALKWIRE_SDK_RUNTIME "" CACHE FILEPATH "Windows, with TALKWIRE_SDK_LIBRARY: the SDK's DLL")

if(NOT TALKWIRE_SDK_LIBRARY)
  set(TALKWIRE_STAND_IN ON)
  add_subdirectory(voicesdk)
  return()
endif()

set(TALKWIRE_STAND_IN OFF)
if(NOT EXISTS "${TALKWIRE_SDK_LIBRARY}")
  message(FATAL_ERROR "TALKWIRE_SDK_LIBRARY: no file ${TALKWIRE_SDK_LIBRARY}")
endif()
if(NOT EXISTS "${TALKWIRE_SDK_INCLUDE_DIR}/voicesdk/voicesdk.h")
  message(FATAL_ERROR "TALKWIRE_SDK_INCLUDE_DIR: no voicesdk/voicesdk.h under ${TALKWIRE_SDK_INCLUDE_DIR}")
endif()

add_library(voicesdk SHARED IMPORTED GLOBAL)
set_target_properties(voicesdk PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${TALKWIRE_SDK_INCLUDE_DIR}")
if(WIN32)
  if(NOT EXISTS "${TALKWIRE_SDK_RUNTIME}")
    message(FATAL_ERROR "TALKWIRE_SDK_RUNTIME: name the SDK's DLL that goes with ${TALKWIRE_SDK_LIBRARY}")
  endif()
  set_target_properties(voicesdk PROPERTIES IMPORTED_IMPLIB "${TALKWIRE_SDK_LIBRARY}"
                                            IMPORTED_LOCATION "${TALKWIRE_SDK_RUNTIME}")
  set(TALKWIRE_SDK_INSTALL_NAME "")
else()
  # The modules record the library's SONAME and find it through $ORIGIN; a
  # library without one would be recorded by its absolute path, which no
  # other machine has.
  get_filename_component(sdk_real "${TALKWIRE_SDK_LIBRARY}" REALPATH)
  execute_process(COMMAND "${CMAKE_OBJDUMP}" -p "${sdk_real}" OUTPUT_VARIABLE sdk_headers RESULT_VARIABLE rc)
  string(REGEX MATCH "SONAME +([^\n]+)" _ "${sdk_headers}")
  string(STRIP "${CMAKE_MATCH_1}" sdk_soname)
  if(NOT rc EQUAL 0 OR NOT sdk_soname)
    message(FATAL_ERROR "TALKWIRE_SDK_LIBRARY: ${TALKWIRE_SDK_LIBRARY} has no SONAME")
  endif()
  set_target_properties(voicesdk PROPERTIES IMPORTED_LOCATION "${sdk_real}" IMPORTED_SONAME "${sdk_soname}")
  # Installed under the name the modules ask for.
  set(TALKWIRE_SDK_INSTALL_NAME "${sdk_soname}")
endif()
message(STATUS "talkwire: voice SDK ${TALKWIRE_SDK_LIBRARY} (no stand-in, control module, demo or SDK-scripting tests)")
