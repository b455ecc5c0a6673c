# Reliability runs, each under a label of its own (scripts/test.sh runs
# them all):
#   tsan      the thread stress, the waits, and a host loop that dispatches
#             without the interpreter lock, under ThreadSanitizer (TALKWIRE_SANITIZE=thread tree)
#   fuzz      a short run of the dispatcher fuzzer (TALKWIRE_SANITIZE=fuzzer tree, clang)
#   valgrind  the Python suite under valgrind memcheck, in Debian's python3.11
#   refleak   the Python suite on Debian's debug interpreter (python3.11-dbg),
#             with reference counts checked by its regression runner
# The last two belong to an unsanitized tree and are left out where the
# tools are missing.

if(TALKWIRE_SANITIZE STREQUAL "thread")
  foreach(tag IN LISTS TALKWIRE_PYTHON_TAGS)
    talkwire_pythonpath(stress_path ${CMAKE_BINARY_DIR}/python/${tag} ${CMAKE_SOURCE_DIR}/python ${PYTHON_TEST_DIR})
    add_test(NAME tsan_stress_${tag}
      COMMAND ${TALKWIRE_${tag}_EXECUTABLE} -m unittest -v test_reliability_threads test_host_dispatch
      WORKING_DIRECTORY ${PYTHON_TEST_DIR})
    set_tests_properties(tsan_stress_${tag} PROPERTIES
      LABELS tsan
      ENVIRONMENT "${PYTHON_TEST_ENVIRONMENT};TALKWIRE_STRESS_MESSAGES=100000;${stress_path}"
      TIMEOUT 600)
    # The waits that let the interpreter go while the SDK's thread answers.
    add_test(NAME tsan_wait_${tag}
      COMMAND ${TALKWIRE_${tag}_EXECUTABLE} -m unittest -v test_wait
      WORKING_DIRECTORY ${PYTHON_TEST_DIR})
    set_tests_properties(tsan_wait_${tag} PROPERTIES
      LABELS tsan
      ENVIRONMENT "${PYTHON_TEST_ENVIRONMENT};${stress_path}"
      TIMEOUT 600)
  endforeach()
  return()
endif()

if(TALKWIRE_SANITIZE STREQUAL "fuzzer")
  add_subdirectory(fuzz)
  return()
endif()

if(NOT TALKWIRE_SANITIZE STREQUAL "" OR WIN32)
  return()
endif()

# valgrind runs Debian's interpreter by its absolute path (pyenv's shims are
# scripts, and pyenv's 3.11.7 reports false errors in int.from_bytes); a
# module built for pyenv's 3.11 loads in it.  --fair-sched=yes: valgrind runs
# one thread at a time, and its default lock lets a thread that polls (a pump
# loop waiting for another thread's answer) take it back again and again, so
# the thread it waits for starves; the suite took minutes instead of one.
# --child-silent-after-fork=yes: a forked child (the fork test's) leaves
# whatever the other threads held behind, which says nothing of ours.
# VOICESDK_PLAIN_ALLOCATION: every request and text its own malloc, so that
# memcheck sees each one rather than the stand-in's slabs.
find_program(VALGRIND_PROGRAM valgrind)
set(TALKWIRE_VALGRIND_PYTHON /usr/bin/python3.11 CACHE FILEPATH "Interpreter the valgrind run uses")
if(VALGRIND_PROGRAM AND EXISTS ${TALKWIRE_VALGRIND_PYTHON} AND "py311" IN_LIST TALKWIRE_PYTHON_TAGS)
  set(valgrind_suppressions "")
  foreach(file /usr/lib/valgrind/python3.supp /usr/lib/x86_64-linux-gnu/valgrind/python3.supp)
    if(EXISTS ${file})
      set(valgrind_suppressions --suppressions=${file})
    endif()
  endforeach()
  add_test(NAME valgrind_py311
    COMMAND ${VALGRIND_PROGRAM} --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite
            --error-exitcode=99 --num-callers=30 --fair-sched=yes --child-silent-after-fork=yes
            ${valgrind_suppressions}
            ${TALKWIRE_VALGRIND_PYTHON} -m unittest discover -s ${PYTHON_TEST_DIR} -t ${PYTHON_TEST_DIR})
  set_tests_properties(valgrind_py311 PROPERTIES
    LABELS valgrind
    ENVIRONMENT "PYTHONMALLOC=malloc;VOICESDK_PLAIN_ALLOCATION=1;PYTHONDONTWRITEBYTECODE=1;TALKWIRE_STRESS_MESSAGES=3000;TALKWIRE_SERVICE_REQUESTS=3000;TALKWIRE_SOURCE_DIR=${CMAKE_SOURCE_DIR};PYTHONPATH=${CMAKE_BINARY_DIR}/python/py311:${CMAKE_SOURCE_DIR}/python:${PYTHON_TEST_DIR}"
    TIMEOUT 1200)
endif()

# The debug interpreter needs modules built against its own headers, and
# without -isystem: its header directory is symlinks, through which gcc
# would find the release pyconfig.h and drop Py_DEBUG.
find_program(TALKWIRE_DEBUG_PYTHON NAMES python3.11d)
if(TALKWIRE_DEBUG_PYTHON)
  # Its include folder and its own module suffix (cpython-311d-...: a
  # release interpreter never imports these modules by mistake).
  execute_process(COMMAND ${TALKWIRE_DEBUG_PYTHON} -c
                  "import sys, sysconfig; sys.stdout.write(sysconfig.get_paths()['include'] + ';' + sysconfig.get_config_var('EXT_SUFFIX') if hasattr(sys, 'gettotalrefcount') else '')"
                  OUTPUT_VARIABLE debug_probe RESULT_VARIABLE rc)
  set(debug_include "")
  if(rc EQUAL 0 AND debug_probe)
    list(GET debug_probe 0 debug_include)
    list(GET debug_probe 1 debug_suffix)
  endif()
  if(EXISTS "${debug_include}/Python.h")
    foreach(module _talkwire _talkwire_loop voicesdk)
      add_library(${module}_debug_python MODULE)
      target_include_directories(${module}_debug_python PRIVATE ${debug_include})
      set_target_properties(${module}_debug_python PROPERTIES
        OUTPUT_NAME ${module} PREFIX "" SUFFIX "${debug_suffix}"
        CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/python/debug
        BUILD_RPATH "${CMAKE_BINARY_DIR}/lib")
    endforeach()
    target_link_libraries(_talkwire_debug_python PRIVATE talkwire_module)
    target_link_libraries(_talkwire_loop_debug_python PRIVATE talkwire_loop_module)
    target_link_libraries(voicesdk_debug_python PRIVATE voicesdk_control)
    # Every test file run four times after two warm-ups; a file whose
    # reference or memory-block count grows in all four fails.
    add_test(NAME refleak_debug_python
      COMMAND ${TALKWIRE_DEBUG_PYTHON} -m test --testdir ${PYTHON_TEST_DIR} -R 2:4 -j0)
    set_tests_properties(refleak_debug_python PROPERTIES
      LABELS refleak
      ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;TALKWIRE_STRESS_MESSAGES=2000;TALKWIRE_SERVICE_REQUESTS=3000;TALKWIRE_SOURCE_DIR=${CMAKE_SOURCE_DIR};PYTHONPATH=${CMAKE_BINARY_DIR}/python/debug:${CMAKE_SOURCE_DIR}/python:${PYTHON_TEST_DIR}"
      TIMEOUT 900)
  endif()
endif()
