# How the shipped programs are compiled and linked.
#
# The launcher is copied into every application directory, often onto
# machines without Boost, so release programs are static-pie by default: no
# shared library is needed, yet the image stays position independent with a
# read-only relocation table bound at start (full RELRO, BIND_NOW).

# The sanitizer runtimes and gcov need the shared C library, and bring their
# own checks, so instrumented builds are neither static nor hardened.
if(DVL_SANITIZE OR DVL_COVERAGE)
  set(DVL_INSTRUMENTED ON)
else()
  set(DVL_INSTRUMENTED OFF)
endif()
if(DVL_INSTRUMENTED)
  set(DVL_STATIC OFF CACHE BOOL "" FORCE)
  set(DVL_HARDENING OFF CACHE BOOL "" FORCE)
endif()
option(DVL_STATIC "Link the programs statically (static-pie)" ON)
option(DVL_HARDENING "Build with stack protection, _FORTIFY_SOURCE and full RELRO" ON)
option(DVL_RECORD_SWITCHES "Keep the compiler's flags in the programs, for the hardening test" ON)

if(DVL_STATIC)
  # Boost's static archive instead of its shared library.
  set(Boost_USE_STATIC_LIBS ON)
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(DVL_HARDENING)
  # _FORTIFY_SOURCE needs optimisation, and sanitizer builds bring their own
  # checks, so it is added for optimised builds only.
  add_compile_options(
    -fstack-protector-strong
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>")
  # Keeps the flags in the binary, where the hardening test reads them. They
  # name the source and build folders, so the packages, whose bytes must not
  # depend on where they were built, turn it off.
  if(DVL_RECORD_SWITCHES)
    add_compile_options(-frecord-gcc-switches)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

# Start-up time of a launcher is mostly the C library relocating itself, so
# drop unused sections and pack the relative relocations (DT_RELR) where the
# linker can.
include(CheckLinkerFlag)
check_linker_flag(CXX "-Wl,-z,pack-relative-relocs" DVL_HAVE_RELR)

# Links an executable the way users get it: static-pie, or an ordinary PIE
# against shared libraries when DVL_STATIC is off.
function(dvl_link_program target)
  if(DVL_STATIC)
    target_link_options(${target} PRIVATE -static-pie)
  else()
    target_link_options(${target} PRIVATE -pie)
  endif()
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  if(DVL_HAVE_RELR)
    target_link_options(${target} PRIVATE -Wl,-z,pack-relative-relocs)
  endif()
endfunction()
