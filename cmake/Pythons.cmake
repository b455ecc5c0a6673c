# Finds the CPython interpreters to build for (2.7 and 3.6 or newer; 3.x
# only on Windows) and adds, per interpreter, the _talkwire, _talkwire_loop
# and voicesdk extension modules and their install rules.  One
# source builds for all of them.  PythonsWindows.cmake holds what differs on
# Windows, cross-builds included.
#
# Each module file carries its interpreter's own suffix (EXT_SUFFIX:
# _talkwire.cpython-311-x86_64-linux-gnu.so, _talkwire.cp311-win_amd64.pyd),
# so that no interpreter imports a module built for another; 2.7 has none
# and keeps the plain .so.

include(${CMAKE_CURRENT_LIST_DIR}/PythonsWindows.cmake)

# The folder, beside the modules, that holds the shared libraries they load
# (found through $ORIGIN; on Windows the DLLs sit beside the modules).
set(TALKWIRE_LIBS_FOLDER "talkwire.libs")

# version;include;platlib;purelib;base prefix;pointer bits;extension
# suffix;scripts folder, with '/' in paths.
set(TALKWIRE_PROBE [=[
import struct, sys, sysconfig
paths = sysconfig.get_paths()
suffix = sysconfig.get_config_var("EXT_SUFFIX") or sysconfig.get_config_var("SO") or ".so"
fields = ["%d.%d.%d" % tuple(sys.version_info[:3]), paths["include"], paths["platlib"], paths["purelib"],
          getattr(sys, "base_prefix", sys.prefix), str(struct.calcsize("P") * 8), suffix, paths["scripts"]]
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
    list(GET probe 6 suffix)
    list(GET probe 7 scripts)
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
    talkwire_record_python(${tag} "${exe}" "${include}" "${version}" "${library}" "${platlib}" "${purelib}"
                           "${suffix}" "${scripts}")
    message(STATUS "talkwire: Python ${version} (${exe})")
  endforeach()
  set(${out_tags} ${tags} PARENT_SCOPE)
  set(TALKWIRE_PYTHON_TAGS ${tags} CACHE INTERNAL "")
endfunction()

# What the targets and tests of one interpreter read.  EXECUTABLE, PLATLIB,
# PURELIB and SCRIPTS are empty for a Windows interpreter seen from a
# cross-build: its modules are built, not installed or tested.  EXT_SUFFIX
# names its module files.
function(talkwire_record_python tag executable include version library platlib purelib ext_suffix scripts)
  set(TALKWIRE_${tag}_EXECUTABLE "${executable}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_INCLUDE "${include}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_VERSION "${version}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_LIBRARY "${library}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_PLATLIB "${platlib}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_PURELIB "${purelib}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_EXT_SUFFIX "${ext_suffix}" CACHE INTERNAL "")
  set(TALKWIRE_${tag}_SCRIPTS "${scripts}" CACHE INTERNAL "")
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
    OUTPUT_NAME ${output_name} PREFIX "" SUFFIX "${TALKWIRE_${tag}_EXT_SUFFIX}"
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY "$<1:${CMAKE_BINARY_DIR}/python/${tag}>")
  if(WIN32)
    talkwire_windows_python_module(${target} ${tag})
  else()
    set_target_properties(${target} PROPERTIES
      BUILD_RPATH "${CMAKE_BINARY_DIR}/lib"
      INSTALL_RPATH "$ORIGIN/${TALKWIRE_LIBS_FOLDER}")
  endif()
endfunction()

# The Python side of one interpreter below one site-packages folder: the
# modules (_talkwire, its companion _talkwire_loop and, with the stand-in,
# the control module voicesdk), the shared libraries they load, the talkwire
# package with its py.typed, and the modules' stubs as stub-only packages
# (_talkwire-stubs/__init__.pyi: type checkers look for those in
# site-packages, not for a top-level _talkwire.pyi).  Without the stand-in,
# the SDK's own library takes its place and the control module, its stub
# and the demo stay out.  The local voice server, where it is built, goes
# into `scripts`, the folder of the interpreter's programs.  Extra arguments
# go to every install() rule.
function(talkwire_install_python_layout tag platlib purelib scripts)
  set(options ${ARGN})
  set(modules _talkwire_${tag} _talkwire_loop_${tag})
  set(stubs _talkwire _talkwire_loop)
  if(TALKWIRE_STAND_IN)
    list(APPEND modules voicesdk_${tag})
    list(APPEND stubs voicesdk)
  endif()
  install(TARGETS ${modules} LIBRARY DESTINATION "${platlib}" ${options})
  if(WIN32)
    install(FILES $<TARGET_FILE:voicesdk> DESTINATION "${platlib}" ${options})
  else()
    set(libs "${platlib}/${TALKWIRE_LIBS_FOLDER}")
    install(TARGETS twplatform LIBRARY DESTINATION "${libs}" ${options})
    if(TALKWIRE_STAND_IN)
      install(TARGETS voicesdk LIBRARY DESTINATION "${libs}" ${options})
    else()
      install(PROGRAMS $<TARGET_FILE:voicesdk> DESTINATION "${libs}" RENAME "${TALKWIRE_SDK_INSTALL_NAME}" ${options})
    endif()
  endif()
  foreach(stub IN LISTS stubs)
    install(FILES ${CMAKE_SOURCE_DIR}/python/${stub}.pyi DESTINATION "${purelib}/${stub}-stubs"
            RENAME __init__.pyi ${options})
  endforeach()
  set(left_out PATTERN "__pycache__" EXCLUDE)
  if(NOT TALKWIRE_STAND_IN)
    list(APPEND left_out PATTERN "demo.py" EXCLUDE)
  endif()
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/talkwire DESTINATION "${purelib}" ${options}
          FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" ${left_out})
  if(TARGET talkwire-voice-server AND scripts)
    install(TARGETS talkwire-voice-server RUNTIME DESTINATION "${scripts}" ${options})
  endif()
endfunction()

# The folder of a wheel's staged layout whose subfolders go to the wheel's
# <name>-<version>.data/ folder (scripts/: installed as programs); the
# backend (backend/talkwire_build/wheelfile.py) knows it by the same name.
set(TALKWIRE_WHEEL_DATA_FOLDER "wheel-data")

# `cmake --install <build> --component python_<tag>` installs the layout into
# that interpreter's own site-packages (absolute paths; DESTDIR still
# applies).  `--component wheel_<tag> --prefix <folder>` puts it straight
# into <folder>, as a wheel holds it; a plain `cmake --install` leaves that
# one out.  The target talkwire_wheel_<tag> builds what the component holds.
function(talkwire_install_python tag)
  if(TALKWIRE_${tag}_PLATLIB)
    talkwire_install_python_layout(${tag} "${TALKWIRE_${tag}_PLATLIB}" "${TALKWIRE_${tag}_PURELIB}"
                                   "${TALKWIRE_${tag}_SCRIPTS}" COMPONENT python_${tag})
  endif()
  talkwire_install_python_layout(${tag} "." "." "${TALKWIRE_WHEEL_DATA_FOLDER}/scripts"
                                 COMPONENT wheel_${tag} EXCLUDE_FROM_ALL)
  add_custom_target(talkwire_wheel_${tag})
  add_dependencies(talkwire_wheel_${tag} _talkwire_${tag} _talkwire_loop_${tag})
  if(TALKWIRE_STAND_IN)
    add_dependencies(talkwire_wheel_${tag} voicesdk_${tag})
  endif()
  if(TARGET talkwire-voice-server)
    add_dependencies(talkwire_wheel_${tag} talkwire-voice-server)
  endif()
endfunction()

function(talkwire_add_python_modules tag)
  talkwire_python_module(_talkwire_${tag} ${tag} _talkwire talkwire_module)
  talkwire_python_module(_talkwire_loop_${tag} ${tag} _talkwire_loop talkwire_loop_module)
  if(TALKWIRE_STAND_IN)
    talkwire_python_module(voicesdk_${tag} ${tag} voicesdk voicesdk_control)
  endif()
  talkwire_install_python(${tag})
endfunction()
