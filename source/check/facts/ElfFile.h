// What an ELF file says about itself, read without trusting it: every
// offset and size is checked against the real file before it is followed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ElfNote {
    std::string name;  // without its NUL
    std::uint32_t type = 0;
    std::string descriptor;  // raw bytes
};

// What makes an ELF file unusable, where it is.
enum class ElfDamageKind {
    None,
    EndsInIdentification,
    UndefinedClassOrOrder,
    EndsInHeader,
    NotAProgram,  // an object of another type: `type` says which
    NoProgramHeaders,
    MalformedHeaderTable,
    HeadersPastEnd,       // `size` is the file's
    SegmentPastEnd,       // a loadable segment ending at byte `at` of `size`
    MalformedLoaderName,  // PT_INTERP
};

struct ElfDamage {
    ElfDamageKind kind = ElfDamageKind::None;
    std::uint16_t type = 0;
    std::uint64_t at = 0;
    std::uint64_t size = 0;
};

struct ElfFile {
    bool opened = false;  // the file could be opened and read
    bool isElf = false;   // it starts with the ELF magic
    int elfClass = 0;     // 32 or 64; 0 for a class the format does not define
    int byteOrder = 0;    // 1 little endian, 2 big endian, 0 unknown
    std::uint16_t machine = 0;
    std::uint16_t type = 0;  // ET_EXEC, ET_DYN, ...
    std::string header;      // the first bytes, for binfmt_misc's magic

    // A header, program header table or loadable segment that lies past the
    // end of the file (a half-copied program), or headers the kernel refuses.
    bool damaged = false;
    ElfDamage damage;
    bool execRefused = false;  // the kernel refuses it; else it dies once running

    bool hasInterpreter = false;
    std::string interpreter;          // PT_INTERP
    std::vector<std::string> needed;  // DT_NEEDED, in order
    bool hasRpath = false;
    std::string rpath;  // DT_RPATH
    bool hasRunpath = false;
    std::string runpath;   // DT_RUNPATH
    bool bindNow = false;  // every symbol bound at start (DF_BIND_NOW, DF_1_NOW)
    std::vector<ElfNote> notes;
};

// Reads the ELF facts of the file at `path` (symbolic links followed). Reads
// only headers and the parts they point to, each of bounded size, so a huge
// or hostile file costs little. Opens nothing but regular files.
ElfFile readElfFile(const std::string& path);

// The same for an open regular file of `size` bytes.
ElfFile readElfFile(int fd, std::uint64_t size);

// Whether a shared object defines a symbol for dlsym to find.
enum class SymbolFound {
    Defined,  // a global or weak symbol of its dynamic table, defined in it and visible
    Missing,
    Unread,  // no dynamic symbol section to read, or one too large
};

// Looks `name` up in the dynamic symbol table of the ELF file at `path`,
// found through its section headers; every offset is checked first.
SymbolFound findDynamicSymbol(const std::string& path, const std::string& name);

// "x86-64", "i386", "AArch64"...; "machine 1234" for one not named here.
std::string machineName(std::uint16_t machine);

// "64-bit x86-64", "32-bit i386": the kind of program or library a file is.
std::string programKind(const ElfFile& elf);
