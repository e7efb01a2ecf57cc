// How much of the new program's stack its arguments and environment may
// take: under a small stack limit, less than execve's own argument space.
#pragma once

#include <cstddef>

struct StackRoom {
    bool limited = false;     // RLIMIT_STACK is finite
    std::size_t limit = 0;    // RLIMIT_STACK, in bytes
    bool randomized = false;  // the kernel places the stack's top at random
    // The most the arguments and environment (counted as execve counts them)
    // may take for the program to start in every run; `surely` beyond which
    // it starts in none. Equal without randomisation; 0 when not limited.
    std::size_t always = 0;
    std::size_t surely = 0;
};

// The stack limit of this process, which the launcher and its child inherit.
StackRoom stackRoom();
