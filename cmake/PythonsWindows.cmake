# The Python modules on Windows.  A module is a .pyd (named with its
# interpreter's tag, _talkwire.cp311-win_amd64.pyd) linked with its
# interpreter's import library (<base_prefix>/libs/pythonXY.lib) and
# exporting only its PyInit_ function; voicesdk.dll is copied beside it, as
# extension modules do not search PATH for the DLLs they import.  Windows
# builds for CPython 3 only: 2.7's extensions need the Visual C++ 2008
# runtime.
#
# A cross-build cannot ask the host's interpreters about a Windows one, so
# it builds the modules only for the Windows CPython named by the cache
# variables below (its include directory, pyconfig.h and all, and its import
# library), and never tests them.

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(TALKWIRE_WINDOWS_PYTHON_INCLUDE "" CACHE PATH
      "Cross-builds: a Windows CPython 3's include directory (with its own pyconfig.h)")
  set(TALKWIRE_WINDOWS_PYTHON_LIBRARY "" CACHE FILEPATH
      "Cross-builds: that CPython's import library (libs/pythonXY.lib)")
endif()

# Sets `out` to the import library of a native Windows interpreter, or to ""
# with a message saying why the interpreter is skipped.
function(talkwire_windows_import_library exe version base_prefix bits out)
  set(${out} "" PARENT_SCOPE)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${version}")
  if(CMAKE_MATCH_1 LESS 3)
    message(STATUS "talkwire: skipping ${exe} (Python 2 is not built on Windows)")
    return()
  endif()
  math(EXPR target_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  if(NOT bits EQUAL target_bits)
    message(STATUS "talkwire: skipping ${exe} (a ${bits}-bit interpreter, a ${target_bits}-bit build)")
    return()
  endif()
  set(library "${base_prefix}/libs/python${CMAKE_MATCH_1}${CMAKE_MATCH_2}.lib")
  if(NOT EXISTS "${library}")
    message(STATUS "talkwire: skipping ${exe} (no import library ${library})")
    return()
  endif()
  set(${out} "${library}" PARENT_SCOPE)
endfunction()

# The cross-build's one interpreter, from TALKWIRE_WINDOWS_PYTHON_INCLUDE
# and _LIBRARY; its version comes from the headers.  The library need not
# exist yet at configure time.
function(talkwire_cross_windows_python out_tags)
  set(${out_tags} "" PARENT_SCOPE)
  set(include "${TALKWIRE_WINDOWS_PYTHON_INCLUDE}")
  set(library "${TALKWIRE_WINDOWS_PYTHON_LIBRARY}")
  if(NOT include OR NOT library)
    message(STATUS "talkwire: cross-building for Windows without the Python modules: set "
                   "TALKWIRE_WINDOWS_PYTHON_INCLUDE and TALKWIRE_WINDOWS_PYTHON_LIBRARY to a Windows "
                   "CPython 3's include directory and libs/pythonXY.lib to build them")
    return()
  endif()
  if(NOT EXISTS "${include}/Python.h" OR NOT EXISTS "${include}/patchlevel.h")
    message(FATAL_ERROR "TALKWIRE_WINDOWS_PYTHON_INCLUDE: no CPython headers in ${include}")
  endif()
  file(STRINGS "${include}/pyconfig.h" windows REGEX "^#[ \t]*define[ \t]+MS_WINDOWS")
  if(NOT windows)
    message(FATAL_ERROR "TALKWIRE_WINDOWS_PYTHON_INCLUDE: ${include}/pyconfig.h is not a Windows "
                        "CPython's (it does not define MS_WINDOWS)")
  endif()
  file(STRINGS "${include}/patchlevel.h" version_line REGEX "^#define[ \t]+PY_VERSION[ \t]+\"")
  string(REGEX MATCH "\"(([0-9]+)\\.([0-9]+)[^\"]*)\"" _ "${version_line}")
  set(version "${CMAKE_MATCH_1}")
  if(NOT CMAKE_MATCH_2 EQUAL 3)
    message(FATAL_ERROR "TALKWIRE_WINDOWS_PYTHON_INCLUDE: Python '${version}' in ${include}; Windows builds need Python 3")
  endif()
  set(tag "py${CMAKE_MATCH_2}${CMAKE_MATCH_3}")
  # The suffix that interpreter's EXT_SUFFIX would give.
  set(ext_suffix ".cp${CMAKE_MATCH_2}${CMAKE_MATCH_3}-win_amd64.pyd")
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ext_suffix ".cp${CMAKE_MATCH_2}${CMAKE_MATCH_3}-win32.pyd")
  endif()
  talkwire_record_python(${tag} "" "${include}" "${version}" "${library}" "" "" "${ext_suffix}" "")
  message(STATUS "talkwire: Windows Python ${version} (${include}, ${library}): modules built, not tested")
  set(${out_tags} ${tag} PARENT_SCOPE)
endfunction()

function(talkwire_windows_python_module target tag)
  set(library "${TALKWIRE_${tag}_LIBRARY}")
  target_link_libraries(${target} PRIVATE "${library}")
  if(MSVC)
    # pyconfig.h also asks for pythonXY.lib by name (#pragma comment(lib)).
    get_filename_component(library_dir "${library}" DIRECTORY)
    target_link_directories(${target} PRIVATE "${library_dir}")
  else()
    # pyconfig.h defines MS_WIN64 for MSVC only; without it other compilers
    # would take the interpreter for a 32-bit one.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      target_compile_definitions(${target} PRIVATE MS_WIN64)
    endif()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:voicesdk> $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
