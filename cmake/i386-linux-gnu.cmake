# Builds 32-bit (i386) programs on an x86-64 Debian machine, with g++-multilib
# and the i386 Boost and GoogleTest packages (dpkg --add-architecture i386).
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)

# Libraries and packages come from the i386 multiarch folders only; programs
# (cmake's helpers, qemu) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/lib/i386-linux-gnu /usr/lib/i386-linux-gnu/cmake /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)

# Tests run the i386 programs through qemu-user, which works whether or not
# the kernel can execute 32-bit programs itself.
find_program(DVL_QEMU_I386 qemu-i386)
if(DVL_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DVL_QEMU_I386})
endif()
