#include "StackRoom.h"

#include <sys/personality.h>
#include <sys/resource.h>

#include <fstream>

namespace {

// Beside the strings and their pointers, the stack holds the kernel's
// auxiliary vector, its random bytes and platform name, and what the
// dynamic loader and the C library use before and in main. Measured for a
// small dynamically linked C program with randomisation off: the largest
// argument space that starts is exactly the limit less this, at every limit
// from 64 to 136 KiB.
constexpr std::size_t STARTUP_RESERVE = 8968;
// With randomisation the kernel moves the stack pointer down by up to this
// much below the strings (arch_align_stack), a different amount each run.
constexpr std::size_t RANDOM_GAP = 8192;

bool randomizedStack() {
    const int persona = personality(0xffffffff);
    if (persona != -1 && (persona & ADDR_NO_RANDOMIZE) != 0) {
        return false;
    }
    std::ifstream in("/proc/sys/kernel/randomize_va_space");
    int level = 2;
    in >> level;
    return !in || level != 0;
}

}  // namespace

StackRoom stackRoom() {
    StackRoom room;
    rlimit64 stack{};
    if (getrlimit64(RLIMIT_STACK, &stack) != 0 || stack.rlim_cur == RLIM64_INFINITY) {
        return room;
    }
    room.limited = true;
    room.limit = static_cast<std::size_t>(stack.rlim_cur);
    room.randomized = randomizedStack();
    const std::size_t gap = room.randomized ? RANDOM_GAP : 0;
    room.surely = room.limit > STARTUP_RESERVE ? room.limit - STARTUP_RESERVE : 0;
    room.always = room.surely > gap ? room.surely - gap : 0;
    return room;
}
