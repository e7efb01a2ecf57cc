#include "StackRules.h"

#include <string>

void stackWarnings(const Facts& facts, Collector& add) {
    const StackRoom& room = facts.stack;
    const std::size_t total = facts.argumentBytes + facts.environmentBytes;
    // Beyond the argument space execve refuses with E2BIG: another finding.
    if (!room.limited || total <= room.always ||
        (facts.argumentLimit != 0 && total > facts.argumentLimit)) {
        return;
    }
    const bool always = total > room.surely;
    add(0, KindId::ArgumentsExceedStack,
        "the arguments and the environment take " + std::to_string(total) +
            " bytes of a stack limited to " + std::to_string(room.limit) +
            " bytes; the new program needs about " + std::to_string(room.limit - room.surely) +
            " more to start" +
            (room.randomized
                 ? " and the kernel places its stack up to " +
                       std::to_string(room.surely - room.always) + " bytes lower at random"
                 : std::string()) +
            ", so execv succeeds and the kernel kills the program with SIGSEGV before it runs " +
            (always ? std::string("(in every run)") : std::string("in some runs")) +
            "; the launcher reports nothing");
}
