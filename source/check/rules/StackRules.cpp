#include "rules/StackRules.h"

#include <string>

void stackWarnings(const Facts& facts, Collector& add) {
    const StackRoom& room = facts.stack;
    const std::size_t total = facts.argumentBytes + facts.environmentBytes;
    // Beyond the argument space execve refuses with E2BIG: another finding.
    if (!room.limited || (facts.argumentLimit != 0 && total > facts.argumentLimit)) {
        return;
    }
    const std::size_t lowest = stackSpan(room, facts.stackStrings, facts.stackPointers, true);
    if (lowest <= room.pages) {
        return;
    }
    const std::size_t span = stackSpan(room, facts.stackStrings, facts.stackPointers, false);
    const bool always = span > room.pages;
    add(0, KindId::ArgumentsExceedStack,
        "the arguments and the environment take " + std::to_string(total) +
            " bytes of a stack limited to " + std::to_string(room.limit) +
            ": the kernel kills the program before it runs, and the launcher reports nothing",
        std::string(),
        "with the kernel's tables and what the new program needs to start, its stack would "
        "span " +
            std::to_string(span) + " bytes" +
            (always ? std::string()
                    : ", or up to " + std::to_string(lowest) +
                          " as the kernel places it lower at random each run") +
            ", more than the " + std::to_string(room.pages) +
            " bytes of whole pages the limit allows: execv succeeds and the program gets SIGSEGV " +
            (always ? std::string("in every run") : std::string("in some runs")) + '\n' +
            kindOf(KindId::ArgumentsExceedStack).advice);
}
