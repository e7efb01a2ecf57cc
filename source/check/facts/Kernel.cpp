#include "facts/Kernel.h"
#include "util/Directory.h"

#include <elf.h>
#include <sys/personality.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

bool isBigEndianHost() {
    const std::uint16_t one = 1;
    return *reinterpret_cast<const unsigned char*>(&one) == 0;
}

bool is64BitMachine(const std::string& machine) {
    return machine.find("64") != std::string::npos || machine == "s390x" || machine == "alpha";
}

// A 64-bit x86 kernel runs i386 programs through its IA32 emulation. When
// that is compiled in, the kernel has /proc/sys/abi/vsyscall32; since Linux
// 6.7 it can still be switched off with ia32_emulation=0 on the command
// line, which /proc/cmdline shows. A 32-bit caller proves it is on. A kernel
// built to default it off, without the parameter, goes unnoticed: that needs
// its configuration, which is not always there to read.
bool x86RunsIa32() {
    if (sizeof(void*) == 4) {
        return true;
    }
    if (!exists("/proc/sys/abi/vsyscall32")) {
        return false;
    }
    std::ifstream in("/proc/cmdline");
    std::string word;
    bool enabled = true;
    while (in >> word) {
        if (word.compare(0, 15, "ia32_emulation=") == 0) {
            const std::string value = word.substr(15);
            enabled = !(value == "0" || value == "off" || value == "n" || value == "false" ||
                        value == "no");
        }
    }
    return enabled;
}

// The programs a kernel of `machine` runs itself: its own, and where it has
// one, its 32-bit compatibility kind.
bool runsNatively(const ElfFile& elf, const KernelInfo& kernel) {
    const std::string& m = kernel.machine;
    const bool is64 = elf.elfClass == 64;
    const auto family = [&](std::uint16_t wide, std::uint16_t narrow) {
        return (is64 && elf.machine == wide) || (!is64 && elf.machine == narrow);
    };
    if (m == "x86_64") {
        // x32 programs (32-bit x86-64) are not told apart: too rare to judge.
        return (is64 && elf.machine == EM_X86_64) || (!is64 && elf.machine == EM_X86_64) ||
               (!is64 && elf.machine == EM_386 && kernel.runs32Bit);
    }
    if (m.size() == 4 && m[0] == 'i' && m.compare(2, 2, "86") == 0) {
        return !is64 && elf.machine == EM_386;
    }
    if (m.compare(0, 7, "aarch64") == 0 || m.compare(0, 5, "arm64") == 0) {
        return family(EM_AARCH64, EM_ARM);
    }
    if (m.compare(0, 3, "arm") == 0) {
        return !is64 && elf.machine == EM_ARM;
    }
    if (m.compare(0, 5, "ppc64") == 0) {
        return family(EM_PPC64, EM_PPC);
    }
    if (m.compare(0, 3, "ppc") == 0) {
        return !is64 && elf.machine == EM_PPC;
    }
    if (m.compare(0, 4, "s390") == 0) {
        return elf.machine == EM_S390 && (is64 || m == "s390x");
    }
    if (m.compare(0, 5, "riscv") == 0) {
        return elf.machine == EM_RISCV && is64 == is64BitMachine(m);
    }
    if (m.compare(0, 4, "mips") == 0) {
        return elf.machine == EM_MIPS && (!is64 || is64BitMachine(m));
    }
    if (m.compare(0, 5, "sparc") == 0) {
        return family(EM_SPARCV9, EM_SPARC);
    }
    if (m.compare(0, 9, "loongarch") == 0) {
        return is64 && elf.machine == 258;
    }
    // A machine not named here: judged by the class alone, as before.
    return !is64 || is64BitMachine(m);
}

std::vector<unsigned char> hexBytes(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

// One entry of binfmt_misc, as its file under the mount says it.
struct BinfmtRule {
    BinfmtEntry entry;
    bool enabled = false;
    bool byExtension = false;
    std::size_t offset = 0;
    std::string magic, mask;  // hexadecimal; for an extension entry, the extension
};

BinfmtRule readBinfmtRule(const std::string& file) {
    std::ifstream in(file);
    BinfmtRule rule;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key, value;
        words >> key >> value;
        if (key == "enabled") {
            rule.enabled = true;
        } else if (key == "flags:") {
            // F: the kernel opened the interpreter when it was registered.
            rule.entry.preopened = value.find('F') != std::string::npos;
        } else if (key == "interpreter") {
            rule.entry.interpreter = value;
        } else if (key == "offset") {
            rule.offset = static_cast<std::size_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "magic") {
            rule.magic = value;
        } else if (key == "mask") {
            rule.mask = value;
        } else if (key == "extension") {
            rule.byExtension = true;
            rule.magic = value.empty() || value[0] != '.' ? value : value.substr(1);
        }
    }
    return rule;
}

// Whether `rule` takes the file executed as `path` that begins with
// `header`. The kernel compares an extension with what follows the last '.'
// of the whole name it executes, directories included.
bool binfmtMatches(const BinfmtRule& rule, const std::string& path, const std::string& header) {
    if (!rule.enabled || rule.magic.empty()) {
        return false;
    }
    if (rule.byExtension) {
        const std::size_t dot = path.rfind('.');
        return dot != std::string::npos &&
               path.compare(dot + 1, std::string::npos, rule.magic) == 0;
    }
    const std::vector<unsigned char> want = hexBytes(rule.magic);
    const std::vector<unsigned char> bits = hexBytes(rule.mask);
    if (rule.offset + want.size() > header.size()) {
        return false;
    }
    for (std::size_t i = 0; i < want.size(); ++i) {
        const unsigned char m = i < bits.size() ? bits[i] : 0xff;
        if (((static_cast<unsigned char>(header[rule.offset + i]) ^ want[i]) & m) != 0) {
            return false;
        }
    }
    return true;
}

// The kernel's own machine name: /proc/sys/kernel/arch (Linux 6.1 and
// later) says it whatever the caller's personality, also to a program run by
// qemu-user, whose uname names the emulated machine. Older kernels: uname.
std::string kernelMachine() {
    std::ifstream in("/proc/sys/kernel/arch");
    std::string machine;
    if (in >> machine) {
        return machine;
    }
    // setarch i686 sets PER_LINUX32, under which uname names a 32-bit
    // machine; the kernel's own name comes with that flag cleared.
    const int persona = personality(0xffffffff);
    const bool linux32 = persona != -1 && (persona & PER_MASK) == PER_LINUX32;
    if (linux32) {
        personality(static_cast<unsigned long>((persona & ~PER_MASK) | PER_LINUX));
    }
    utsname names{};
    if (uname(&names) == 0) {
        machine = names.machine;
    }
    if (linux32) {
        personality(static_cast<unsigned long>(persona));
    }
    return machine;
}

}  // namespace

KernelInfo KernelInfo::current() {
    KernelInfo kernel;
    kernel.machine = kernelMachine();
    kernel.runs32Bit = kernel.machine == "x86_64" ? x86RunsIa32() : true;
    kernel.binfmtDir = "/proc/sys/fs/binfmt_misc";
    return kernel;
}

std::size_t kernelPointerSize() {
    return is64BitMachine(KernelInfo::current().machine) ? 8 : 4;
}

BinfmtEntry binfmtEntryFor(const KernelInfo& kernel, const std::string& path,
                           const std::string& header) {
    std::ifstream status(kernel.binfmtDir + "/status");
    std::string state;
    if (kernel.binfmtDir.empty() || !(status >> state) || state != "enabled") {
        return BinfmtEntry();
    }
    // Names in order, so that of two entries that match, the same one is named each time.
    std::vector<std::string> names;
    for (const std::string& name : entriesOf(kernel.binfmtDir)) {
        if (name != "status" && name != "register") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        BinfmtRule rule = readBinfmtRule(kernel.binfmtDir + "/" + name);
        if (binfmtMatches(rule, path, header)) {
            rule.entry.name = name;
            return rule.entry;
        }
    }
    return BinfmtEntry();
}

KernelVerdict kernelRuns(const ElfFile& elf, const KernelInfo& kernel) {
    KernelVerdict verdict;
    // binfmt_misc is asked before the kernel's own ELF loader.
    const BinfmtEntry handler = binfmtEntryFor(kernel, std::string(), elf.header);
    if (!handler.name.empty()) {
        verdict.how = KernelRun::Binfmt;
        verdict.handlerInterpreter = handler.interpreter;
        return verdict;
    }
    const bool ownOrder = elf.byteOrder == (isBigEndianHost() ? 2 : 1);
    if (ownOrder && runsNatively(elf, kernel)) {
        return verdict;
    }
    verdict.kind = programKind(elf) + (ownOrder             ? ""
                                       : elf.byteOrder == 2 ? " big-endian"
                                                            : " little-endian");
    verdict.machine = kernel.machine;
    verdict.how = kernel.machine == "x86_64" && elf.machine == EM_386 && elf.elfClass == 32
                      ? KernelRun::NoIa32Emulation
                      : KernelRun::OtherMachine;
    return verdict;
}

bool binfmtTakes(const KernelInfo& kernel, const std::string& header) {
    return !binfmtEntryFor(kernel, std::string(), header).name.empty();
}
