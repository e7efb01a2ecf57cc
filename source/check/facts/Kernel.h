// What the running kernel executes, whatever the personality of the caller
// (setarch i686) and whatever the class of this program's own build.
#pragma once

#include <cstddef>
#include <string>

#include "ElfFile.h"

struct KernelInfo {
    std::string machine;     // as uname says it without a 32-bit personality
    bool runs32Bit = false;  // a 64-bit kernel's support for its 32-bit programs
    std::string binfmtDir;   // binfmt_misc's entries; empty for none

    // The running kernel's facts.
    static KernelInfo current();
};

// 8 on a 64-bit kernel, also for a 32-bit caller; 4 on a 32-bit kernel.
std::size_t kernelPointerSize();

// Whether `kernel` executes `elf`. When it does not, `why` says so; when a
// binfmt_misc handler runs it, `why` names the handler.
bool kernelRuns(const ElfFile& elf, const KernelInfo& kernel, std::string& why);

// Whether an enabled binfmt_misc entry runs a file that begins with `header`.
bool binfmtTakes(const KernelInfo& kernel, const std::string& header);
