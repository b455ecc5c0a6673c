# Finds the CPython interpreters to build for (2.7 and 3.6 or newer) and adds,
# per interpreter, the _talkwire and voicesdk extension modules, their
# install rules and the Python test run.  One source builds for all of them.

set(TALKWIRE_PROBE [=[
import sys, sysconfig
paths = sysconfig.get_paths()
sys.stdout.write("%d.%d.%d;%s;%s;%s" % (sys.version_info[0], sys.version_info[1], sys.version_info[2],
                                        paths["include"], paths["platlib"], paths["purelib"]))
]=])

function(talkwire_find_pythons out_tags)
  set(candidates ${TALKWIRE_PYTHONS})
  if(NOT candidates)
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
    if(NOT candidates)
      find_program(default_python python3)
      list(APPEND candidates ${default_python})
    endif()
  endif()
  set(tags)
  foreach(exe IN LISTS candidates)
    execute_process(COMMAND ${exe} -c "${TALKWIRE_PROBE}" OUTPUT_VARIABLE probe
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      continue()
    endif()
    list(GET probe 0 version)
    list(GET probe 1 include)
    list(GET probe 2 platlib)
    list(GET probe 3 purelib)
    if(NOT EXISTS "${include}/Python.h")
      message(STATUS "talkwire: skipping ${exe} (no headers)")
      continue()
    endif()
    string(REGEX MATCH "^([0-9]+)\\.([0-9]+)" _ "${version}")
    set(tag "py${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
    if(tag IN_LIST tags)
      continue()
    endif()
    list(APPEND tags ${tag})
    set(TALKWIRE_${tag}_EXECUTABLE "${exe}" CACHE INTERNAL "")
    set(TALKWIRE_${tag}_INCLUDE "${include}" CACHE INTERNAL "")
    set(TALKWIRE_${tag}_VERSION "${version}" CACHE INTERNAL "")
    set(TALKWIRE_${tag}_PLATLIB "${platlib}" CACHE INTERNAL "")
    set(TALKWIRE_${tag}_PURELIB "${purelib}" CACHE INTERNAL "")
    message(STATUS "talkwire: Python ${version} (${exe})")
  endforeach()
  set(${out_tags} ${tags} PARENT_SCOPE)
  set(TALKWIRE_PYTHON_TAGS ${tags} CACHE INTERNAL "")
endfunction()

function(talkwire_python_module target tag output_name sources_property)
  get_property(sources GLOBAL PROPERTY ${sources_property})
  get_property(links GLOBAL PROPERTY ${sources_property}_LINKS)
  add_library(${target} MODULE ${sources})
  target_include_directories(${target} SYSTEM PRIVATE ${TALKWIRE_${tag}_INCLUDE})
  target_link_libraries(${target} PRIVATE ${links})
  talkwire_warnings(${target})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output_name} PREFIX "" SUFFIX ".so"
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/python/${tag}
    BUILD_RPATH "${CMAKE_BINARY_DIR}/lib"
    INSTALL_RPATH "$ORIGIN")
endfunction()

# `cmake --install <build> --component python_<tag>` puts both modules, the
# type stub and the shared libraries they load (found through $ORIGIN) into
# that interpreter's site-packages, and the talkwire package beside them.
# The paths are absolute; DESTDIR still applies.
function(talkwire_install_python tag)
  set(platlib "${TALKWIRE_${tag}_PLATLIB}")
  set(purelib "${TALKWIRE_${tag}_PURELIB}")
  set(component python_${tag})
  install(TARGETS _talkwire_${tag} voicesdk_${tag} LIBRARY DESTINATION "${platlib}" COMPONENT ${component})
  install(TARGETS voicesdk twplatform
          LIBRARY DESTINATION "${platlib}" COMPONENT ${component}
          RUNTIME DESTINATION "${platlib}" COMPONENT ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/python/_talkwire.pyi DESTINATION "${platlib}" COMPONENT ${component})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/talkwire DESTINATION "${purelib}" COMPONENT ${component}
          FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
endfunction()

function(talkwire_add_python_modules tag)
  talkwire_python_module(_talkwire_${tag} ${tag} _talkwire TALKWIRE_MODULE_SOURCES)
  talkwire_python_module(voicesdk_${tag} ${tag} voicesdk VOICESDK_PYTHON_SOURCES)
  talkwire_install_python(${tag})
endfunction()
