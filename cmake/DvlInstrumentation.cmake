# Instrumented builds, each in its own build folder (scripts/sanitize.sh,
# scripts/fuzz.sh, scripts/coverage.sh). The flags apply to every target, so
# the launcher, the stand-in, the harness and the tests are all instrumented.

if(DVL_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "DVL_SANITIZE needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Any finding ends the process with a report instead of carrying on.
  set(DVL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
  add_compile_options(${DVL_SANITIZER_FLAGS} -fno-omit-frame-pointer -g)
  add_link_options(${DVL_SANITIZER_FLAGS})
  # Tests that cannot work under the sanitizer (address-space limits) skip
  # themselves, visibly, when this is set.
  add_compile_definitions(DVL_SANITIZED=1)
endif()

if(DVL_FUZZ AND NOT DVL_SANITIZE)
  message(FATAL_ERROR "DVL_FUZZ needs DVL_SANITIZE=ON (and clang)")
endif()

if(DVL_COVERAGE)
  if(DVL_SANITIZE)
    message(FATAL_ERROR "DVL_COVERAGE and DVL_SANITIZE go in separate build folders")
  endif()
  # The checker parses a large ini file on a second thread with the same
  # inline functions as its own reading: counters updated from both at once
  # must not lose counts, or gcov derives negative ones.
  add_compile_options(--coverage -fprofile-update=atomic -O0 -g)
  add_link_options(--coverage -fprofile-update=atomic)
  add_compile_definitions(DVL_COVERAGE=1)
endif()
