// How much of the new program's stack its arguments and environment may
// take: under a small stack limit, less than execve's own argument space.
#pragma once

#include <cstddef>

struct StackRoom {
    bool limited = false;     // RLIMIT_STACK is finite
    std::size_t limit = 0;    // RLIMIT_STACK, in bytes
    std::size_t pages = 0;    // the limit in whole pages, in bytes: what the stack may span
    bool randomized = false;  // the kernel moves the stack pointer down at random
    std::size_t pointer = 8;  // the size of a pointer on the new stack
    std::size_t top = 8;      // the kernel's empty pointer at the stack's top
    // The kernel's platform names, random bytes and auxiliary vector.
    std::size_t tables = 0;
    // The processor state a new program's dynamic loader saves below them.
    std::size_t binding = 0;
};

// The stack limit of this process, which the launcher and its child inherit,
// and the kernel's tables as it gives them this process.
StackRoom stackRoom();

// What the new program's stack spans, from its top down to the lowest page
// the program touches before it runs its own code, for `strings` bytes of
// strings (the path executed, the arguments and the environment, each with
// its zero) and `pointers` of them in argv and envp. `lowest` places the
// stack pointer as far down as randomisation may; otherwise it is not moved.
std::size_t stackSpan(const StackRoom& room, std::size_t strings, std::size_t pointers,
                      bool lowest);
