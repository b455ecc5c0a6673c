# Finds the CPython interpreters to build for (2.7 and 3.6 or newer; 3.x
# only on Windows) and adds, per interpreter, the _talkwire and voicesdk
# extension modules, their install rules and the Python test run.  One
# source builds for all of them.  PythonsWindows.cmake holds what differs on
# Windows, cross-builds included.

include(${CMAKE_CURRENT_LIST_DIR}/PythonsWindows.cmake)

# version;include;platlib;purelib;base prefix;pointer bits, with '/' in paths.
set(TALKWIRE_PROBE [=[
import struct, sys, sysconfig
paths = sysconfig.get_paths()
fields = ["%d.%d.%d" % tuple(sys.version_info[:3]), paths["include"], paths["platlib"], paths["purelib"],
          getattr(sys, "base_prefix", sys.prefix), str(struct.calcsize("P") * 8)]
sys.stdout.write(";".join(field.replace("\\", "/") for field in fields))
]=])

# Every pyenv interpreter, or else the python3 on PATH (python on Windows).
function(talkwire_default_pythons out)
  set(candidates)
  if(NOT WIN32)
    set(pyenv_root "$ENV{PYENV_ROOT}")
    if(NOT pyenv_root)
      set(pyenv_root "$ENV{HOME}/.pyenv")
    endif()
    file(GLOB dirs LIST_DIRECTORIES true "${pyenv_root}/versions/*")
    list(SORT dirs COMPARE NATURAL)
    foreach(dir IN LISTS dirs)
      file(GLOB exes "${dir}/bin/python[23].[0-9]" "${dir}/bin/python[23].[0-9][0-9]")
      list(SORT exes)
      list(GET exes 0 exe)
      if(exe)
        list(APPEND candidates ${exe})
      endif()
    endforeach()
  endif()
  if(NOT candidates)
    if(WIN32)
      find_program(default_python NAMES python python3)
    else()
      find_program(default_python python3)
    endif()
    if(default_python)
      list(APPEND candidates ${default_python})
    endif()
  endif()
  set(${out} ${candidates} PARENT_SCOPE)
endfunction()

function(talkwire_find_pythons out_tags)
  set(tags)
  if(CMAKE_CROSSCOMPILING AND WIN32)
    # The host's interpreters cannot describe a Windows one.
    talkwire_cross_windows_python(tags)
    set(${out_tags} ${tags} PARENT_SCOPE)
    set(TALKWIRE_PYTHON_TAGS ${tags} CACHE INTERNAL "")
    return()
  endif()
  set(candidates ${TALKWIRE_PYTHONS})
  if(NOT candidates)
    talkwire_default_pythons(candidates)
  endif()
  foreach(exe IN LISTS candidates)
    execute_process(COMMAND ${exe} -c "${TALKWIRE_PROBE}" OUTPUT_VARIABLE probe
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      message(STATUS "talkwire: skipping ${exe} (does not run)")
      continue()
    endif()
    list(GET probe 0 version)
    list(GET probe 1 include)
    list(GET probe 2 platlib)
    list(GET probe 3 purelib)
    list(GET probe 4 base_prefix)
    list(GET probe 5 bits)
    if(NOT EXISTS "${include}/Python.h")
      message(STATUS "talkwire: skipping ${exe} (no headers)")
      continue()
    endif()
    string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${version}")
    set(tag "py${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
    if(tag IN_LIST tags)
      continue()
    endif()
    set(library "")
    if(WIN32)
      talkwire_windows_import_library("${exe}" "${version}" "${base_prefix}" "${bits}" library)
      if(NOT library)
        continue()
      endif()
    endif()
    list(APPEND tags ${tag})
    talkwire_record_python(${tag} "${exe}" "${include}" "${version}" "${library}" "${platlib}" "${purelib}")
    message(STATUS "talkwire: Python ${version} (${exe})")
  endforeach()
  set(${out_tags} ${tags} PARENT_SCOPE)
  set(TALKWIRE_PYTHON_TAGS ${tags} CACHE INTERNAL "")
endfunction()

# What the targets and tests of one interpreter read.  EXECUTABLE, PLATLIB
# and PURELIB are empty for a Windows interpreter seen from a cross-build:
# its modules are built, not installed or tested.
function(talkwire_record_python tag executable include version library platlib purelib)
  set(TALKWIRE_${tag}_EXECUTABLE "${executable}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_INCLUDE "${include}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_VERSION "${version}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_LIBRARY "${library}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_PLATLIB "${platlib}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_PURELIB "${purelib}" CACHE INTERNAL "")
endfunction()

# `sources` is an interface library that carries the module's sources and
# what they link.
function(talkwire_python_module target tag output_name sources)
  add_library(${target} MODULE)
  target_include_directories(${target} SYSTEM PRIVATE ${TALKWIRE_${tag}_INCLUDE})
  target_link_libraries(${target} PRIVATE ${sources})
  talkwire_warnings(${target})
  # The generator expression keeps multi-config generators from adding a
  # per-configuration folder: the tests' PYTHONPATH names this one.
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output_name} PREFIX ""
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY "$<1:${CMAKE_BINARY_DIR}/python/${tag}>")
  if(WIN32)
    talkwire_windows_python_module(${target} ${tag})
  else()
    set_target_properties(${target} PROPERTIES
      SUFFIX ".so"
      BUILD_RPATH "${CMAKE_BINARY_DIR}/lib"
      INSTALL_RPATH "$ORIGIN")
  endif()
endfunction()

# `cmake --install <build> --component python_<tag>` puts both modules, the
# type stub and the shared libraries they load (found through $ORIGIN, or
# beside them on Windows) into that interpreter's site-packages, and the
# talkwire package beside them.  The paths are absolute; DESTDIR still
# applies.
function(talkwire_install_python tag)
  set(platlib "${TALKWIRE_${tag}_PLATLIB}")
  set(purelib "${TALKWIRE_${tag}_PURELIB}")
  if(NOT platlib)
    return()
  endif()
  set(component python_${tag})
  install(TARGETS _talkwire_${tag} _talkwire_loop_${tag} voicesdk_${tag} LIBRARY DESTINATION "${platlib}" COMPONENT ${component})
  if(WIN32)
    install(FILES $<TARGET_FILE:voicesdk> DESTINATION "${platlib}" COMPONENT ${component})
  else()
    install(TARGETS voicesdk twplatform
            LIBRARY DESTINATION "${platlib}" COMPONENT ${component}
            RUNTIME DESTINATION "${platlib}" COMPONENT ${component})
  endif()
  install(FILES ${CMAKE_SOURCE_DIR}/python/_talkwire.pyi ${CMAKE_SOURCE_DIR}/python/_talkwire_loop.pyi DESTINATION "${platlib}" COMPONENT ${component})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/talkwire DESTINATION "${purelib}" COMPONENT ${component}
          FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
endfunction()

function(talkwire_add_python_modules tag)
  talkwire_python_module(_talkwire_${tag} ${tag} _talkwire talkwire_module)
  talkwire_python_module(_talkwire_loop_${tag} ${tag} _talkwire_loop talkwire_loop_module)
  talkwire_python_module(voicesdk_${tag} ${tag} voicesdk voicesdk_control)
  talkwire_install_python(${tag})
endfunction()
