// What the running kernel executes, whatever the personality of the caller
// (setarch i686) and whatever the class of this program's own build.
#pragma once

#include <cstddef>
#include <string>

#include "facts/ElfFile.h"

struct KernelInfo {
    std::string machine;     // as uname says it without a 32-bit personality
    bool runs32Bit = false;  // a 64-bit kernel's support for its 32-bit programs
    std::string binfmtDir;   // binfmt_misc's entries; empty for none

    // The running kernel's facts.
    static KernelInfo current();
};

// 8 on a 64-bit kernel, also for a 32-bit caller; 4 on a 32-bit kernel.
std::size_t kernelPointerSize();

// How the kernel runs an ELF program, or why it does not.
enum class KernelRun {
    Natively,
    Binfmt,           // through a binfmt_misc handler
    NoIa32Emulation,  // a 32-bit x86 program on a 64-bit kernel without it
    OtherMachine,
};

struct KernelVerdict {
    KernelRun how = KernelRun::Natively;
    std::string handlerInterpreter;  // the program a binfmt_misc handler runs
    std::string kind;     // the program's kind, with its byte order where not the kernel's
    std::string machine;  // the kernel's

    bool runs() const { return how == KernelRun::Natively || how == KernelRun::Binfmt; }
};

// Whether and how `kernel` executes `elf`.
KernelVerdict kernelRuns(const ElfFile& elf, const KernelInfo& kernel);

// An enabled binfmt_misc entry, which the kernel asks before its own loaders.
struct BinfmtEntry {
    std::string name;         // the entry's name under binfmt_misc; empty for none
    std::string interpreter;  // the program the kernel runs in the file's place
    bool preopened = false;   // flag F: opened when registered, so always there
};

// The enabled entry that takes the file executed as `path` and beginning
// with `header`: magic entries by the first bytes, extension entries by what
// follows the path's last '.'. Each entry the kernel uses is one level of
// interpretation, like a script.
BinfmtEntry binfmtEntryFor(const KernelInfo& kernel, const std::string& path,
                           const std::string& header);

// Whether an enabled binfmt_misc entry runs a file that begins with `header`.
bool binfmtTakes(const KernelInfo& kernel, const std::string& header);
