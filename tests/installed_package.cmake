# Installs one interpreter's component (cmake --install, under DESTDIR) into
# a staging folder and runs the package checks against that installation
# alone: no build or source folder on the path, no source tree to read.
#   cmake -DBUILD=<build dir> -DTAG=<py3XX> -DPYTHON=<exe> -DPLATLIB=<dir> -DPURELIB=<dir>
#         -DTESTS=<tests/python> -P installed_package.cmake
set(stage "${BUILD}/installed/${TAG}")
file(REMOVE_RECURSE "${stage}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${stage}"
                        ${CMAKE_COMMAND} --install "${BUILD}" --component python_${TAG}
                OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing python_${TAG} failed")
endif()
# The test files are copied, so that the folder they import from holds
# nothing of the product.
file(COPY "${TESTS}/" DESTINATION "${stage}/tests" FILES_MATCHING PATTERN "*.py")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PYTHONPATH=${stage}${PLATLIB}:${stage}${PURELIB}" "TALKWIRE_SOURCE_DIR="
                        PYTHONDONTWRITEBYTECODE=1
                        "${PYTHON}" -m unittest test_package
                WORKING_DIRECTORY "${stage}/tests" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the package checks failed against the installation")
endif()
