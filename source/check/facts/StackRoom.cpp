#include "facts/StackRoom.h"

#include <sys/auxv.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstring>
#include <fstream>

#include "facts/Kernel.h"

namespace {

// What the dynamic loader and the C library take below the kernel's stack
// pointer before main, and a small main: measured for a dynamically linked
// C program as the lowest address it touches (to 16 bytes) on a processor
// without AVX-512, less the processor state the loader's lazy binding saves
// there, which follows.
constexpr std::size_t PROGRAM_START = 6048;
// That state where it cannot be asked of the processor: with AVX-512.
constexpr std::size_t BINDING_STATE = 2560;
// With randomisation the kernel moves the stack pointer down by less than
// this below the strings (arch_align_stack), a different amount each run.
constexpr std::size_t RANDOM_GAP = 8192;
// The kernel aligns the stack pointer to this, below the strings and again
// below the pointers (STACK_ROUND).
constexpr std::size_t STACK_ALIGN = 16;
// AT_RANDOM's bytes.
constexpr std::size_t RANDOM_BYTES = 16;

std::size_t alignUp(std::size_t bytes) {
    return (bytes + STACK_ALIGN - 1) / STACK_ALIGN * STACK_ALIGN;
}

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

// The entries of this process's auxiliary vector, AT_NULL included: the
// kernel gives every program of this machine as many.
std::size_t auxiliaryEntries() {
    std::ifstream in("/proc/self/auxv", std::ios::binary);
    unsigned long entry[2] = {0, 0};
    std::size_t count = 0;
    while (in.read(reinterpret_cast<char*>(entry), sizeof(entry))) {
        ++count;
        if (entry[0] == AT_NULL) {
            return count;
        }
    }
    // Linux on x86-64 6.x without a readable /proc.
    return 23;
}

// The register state the C library's dynamic loader saves on the stack when
// a program's first call binds a symbol lazily (_dl_runtime_resolve_xsavec):
// the size it takes for the AVX, MPX and AVX-512 parts this processor has,
// as it computes it. It moves the stack's floor by over 1.5 KiB between
// processors with and without AVX-512.
std::size_t bindingState() {
#if defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_count(0xd, 0, &eax, &ebx, &ecx, &edx) == 0 || ebx == 0) {
        return BINDING_STATE;
    }
    const unsigned saved = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 5) | (1u << 6) | (1u << 7);
    unsigned offset = 576;  // the legacy area and the header
    unsigned size = 256;    // the AVX part, component 2
    for (unsigned i = 3; i < 32; ++i) {
        offset += size;
        size = 0;
        ecx = 0;
        if ((saved & (1u << i)) != 0) {
            __get_cpuid_count(0xd, i, &eax, &ebx, &ecx, &edx);
            size = eax;
        }
        if ((ecx & 2u) != 0) {
            offset = (offset + 63) / 64 * 64;
        }
    }
    // Its own registers' 64 bytes, then to a 64-byte boundary.
    return (offset + size + 64 + 63) / 64 * 64;
#else
    return BINDING_STATE;
#endif
}

std::size_t platformBytes(unsigned long type) {
    const char* name = reinterpret_cast<const char*>(getauxval(type));
    return name != nullptr ? std::strlen(name) + 1 : 0;
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
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
    // The stack grows by whole pages, as long as it spans no more than the limit.
    room.pages = room.limit / pageSize * pageSize;
    room.randomized = randomizedStack();
    room.pointer = sizeof(void*);
    room.binding = bindingState();
    room.top = kernelPointerSize();
    room.tables = platformBytes(AT_PLATFORM) + platformBytes(AT_BASE_PLATFORM) + RANDOM_BYTES +
                  auxiliaryEntries() * 2 * room.pointer;
    return room;
}

std::size_t stackSpan(const StackRoom& room, std::size_t strings, std::size_t pointers,
                      bool lowest) {
    // Below the top's empty pointer, the strings; the stack pointer moved
    // down at random and aligned; the tables; argc, argv, envp and their
    // ends, aligned again.
    const std::size_t top =
        alignUp(room.top + strings + (lowest && room.randomized ? RANDOM_GAP - 1 : 0));
    return top + alignUp(room.tables + (pointers + 3) * room.pointer) + PROGRAM_START +
           room.binding;
}
