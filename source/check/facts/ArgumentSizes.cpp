#include "facts/ArgumentSizes.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "facts/Kernel.h"

extern char** environ;

namespace {

// The kernel's own figures for execve: the stack limit it assumes when there
// is none, and the floor of the argument space.
constexpr std::uint64_t KERNEL_STACK_LIMIT = std::uint64_t{8} * 1024 * 1024;
constexpr std::uint64_t KERNEL_ARG_MAX = 131072;

// The room execve gives the strings and their pointers: a quarter of the
// stack limit, at most three quarters of the kernel's default stack, and
// never less than 128 KiB.
std::size_t argumentLimit() {
    std::uint64_t limit = KERNEL_STACK_LIMIT / 4 * 3;
    rlimit64 stack{};
    if (getrlimit64(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM64_INFINITY) {
        limit = std::min<std::uint64_t>(limit, stack.rlim_cur / 4);
    }
    return static_cast<std::size_t>(std::max(limit, KERNEL_ARG_MAX));
}

std::size_t environmentCount() {
    std::size_t count = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        ++count;
    }
    return count;
}

std::size_t environmentBytes(std::size_t pointer) {
    std::size_t bytes = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bytes += std::strlen(*entry) + 1 + pointer;
    }
    return bytes;
}

std::size_t vectorBytes(const LaunchVector& argv, std::size_t pointer) {
    // The kernel copies the path it executes as well as every argument.
    std::size_t bytes = std::strlen(argv.command.c_str()) + 1;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        bytes += std::strlen((i == 0 ? argv.command : argv.rest[i - 1]).c_str()) + 1 + pointer;
    }
    return bytes;
}

}  // namespace

void measureArguments(Facts& findings, const LaunchVector& argv) {
    const std::size_t pointer = kernelPointerSize();
    findings.argumentBytes = vectorBytes(argv, pointer);
    findings.environmentBytes = environmentBytes(pointer);
    findings.argumentLimit = argumentLimit();
    findings.stack = stackRoom();
    // For a script the kernel copies its interpreter's name and argument too,
    // within the same limit.
    findings.argumentBytes += findings.executableInfo.scriptBytes;
    // The kernel drops argv[0] for a script, gives the path executed in its
    // place, and puts the interpreter and its one argument before it.
    const std::size_t environment = environmentCount();
    findings.stackPointers = argv.size() + environment + findings.executableInfo.scriptPointers;
    findings.stackStrings =
        findings.argumentBytes + findings.environmentBytes - (argv.size() + environment) * pointer;
}
