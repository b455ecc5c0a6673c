# TALKWIRE_SANITIZE=address builds everything with ASan+UBSan, =thread with
# TSan, =fuzzer (clang only) with ASan+UBSan and libFuzzer's coverage for
# the fuzz targets of tests/fuzz.  Tests of a sanitized build preload the
# runtime (see tests/).
if(TALKWIRE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # Thread-locals in static TLS: this toolchain's leak checker misreads the
  # dynamic TLS blocks of dlopened libraries at exit ("Tracer caught signal
  # 11" after "DTLS ... at 0x57ae"), failing most runs of a process that
  # loads the modules.  Release builds keep the default model for dlopen.
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_compile_options(-ftls-model=initial-exec)
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE TALKWIRE_SANITIZER_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The interpreter is no C++ program: without libstdc++ loaded up front,
  # ASan cannot intercept the first C++ throw of a module it dlopens.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.so.6
                  OUTPUT_VARIABLE cxx_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(TALKWIRE_SANITIZER_RUNTIME "${TALKWIRE_SANITIZER_RUNTIME}:${cxx_runtime}")
elseif(TALKWIRE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libtsan.so
                  OUTPUT_VARIABLE TALKWIRE_SANITIZER_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
elseif(TALKWIRE_SANITIZE STREQUAL "fuzzer")
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TALKWIRE_SANITIZE=fuzzer needs clang (CXX=clang++-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT TALKWIRE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TALKWIRE_SANITIZE must be '', 'address', 'thread' or 'fuzzer'")
endif()
