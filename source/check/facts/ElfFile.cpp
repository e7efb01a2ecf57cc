#include "facts/ElfFile.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Bounds for what is read from one file: the kernel itself refuses a
// program header table over 64 KiB, and no path or note needs more.
constexpr std::uint64_t TABLE_MAX = 65536;
constexpr std::uint64_t STRING_MAX = 4096;
constexpr std::size_t HEADER_BYTES = 128;
constexpr std::size_t NEEDED_MAX = 1024;
// A dynamic symbol table and its strings: a large library has some MiB.
constexpr std::uint64_t SYMBOLS_MAX = 16 * 1048576;

class Reader {
public:
    Reader(int fd, std::uint64_t size, bool bigEndian) : size(size), fd(fd), big(bigEndian) {}

    // The `length` bytes at `offset`, if they all lie within the file.
    bool read(std::uint64_t offset, std::uint64_t length, std::string& out) const {
        if (offset > size || length > size - offset) {
            return false;
        }
        out.assign(static_cast<std::size_t>(length), '\0');
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got =
                pread(fd, &out[done], out.size() - done, static_cast<off_t>(offset + done));
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    std::uint64_t number(const std::string& bytes, std::size_t at, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[at + (big ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    }

    std::uint64_t size;

private:
    int fd;
    bool big;
};

struct Segment {
    std::uint32_t type = 0;
    std::uint64_t offset = 0, vaddr = 0, filesz = 0, align = 0;
};

bool reaches(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset > size || length > size - offset;
}

// The notes in `bytes`, each padded to `align`; stops at the first one that
// does not fit.
void parseNotes(const Reader& in, const std::string& bytes, std::uint64_t align,
                std::vector<ElfNote>& notes) {
    const std::uint64_t pad = align == 8 ? 8 : 4;
    const auto up = [pad](std::uint64_t n) { return (n + pad - 1) / pad * pad; };
    std::uint64_t at = 0;
    while (bytes.size() - at >= 12) {
        const std::uint64_t nameSize = in.number(bytes, at, 4);
        const std::uint64_t descSize = in.number(bytes, at + 4, 4);
        ElfNote note;
        note.type = static_cast<std::uint32_t>(in.number(bytes, at + 8, 4));
        const std::uint64_t nameAt = at + 12;
        if (nameSize > bytes.size() - nameAt) {
            return;
        }
        const std::uint64_t descAt = nameAt + up(nameSize);
        if (descAt > bytes.size() || descSize > bytes.size() - descAt) {
            return;
        }
        note.name = bytes.substr(nameAt, nameSize).c_str();
        note.descriptor = bytes.substr(descAt, descSize);
        notes.push_back(note);
        at = std::min<std::uint64_t>(descAt + up(descSize), bytes.size());
    }
}

// The file offset of virtual address `address`, through the loadable segments.
bool fileOffset(const std::vector<Segment>& segments, std::uint64_t address,
                std::uint64_t& offset) {
    for (const Segment& s : segments) {
        if (s.type == PT_LOAD && address >= s.vaddr && address - s.vaddr < s.filesz) {
            offset = s.offset + (address - s.vaddr);
            return true;
        }
    }
    return false;
}

// The NUL-terminated string at `offset`, read no further than `limit`.
std::string stringAt(const Reader& in, std::uint64_t offset, std::uint64_t limit) {
    if (offset >= in.size) {
        return std::string();
    }
    std::string bytes;
    const std::uint64_t length = std::min({limit, STRING_MAX, in.size - offset});
    in.read(offset, length, bytes);
    return bytes.c_str();
}

void readDynamic(const Reader& in, const Segment& dynamic, const std::vector<Segment>& segments,
                 bool is64, ElfFile& elf) {
    const std::size_t entry = is64 ? 16 : 8;
    std::string table;
    if (!in.read(dynamic.offset, std::min(dynamic.filesz, TABLE_MAX), table)) {
        return;
    }
    std::uint64_t strtab = 0, strsz = STRING_MAX;
    std::vector<std::uint64_t> needed;
    std::uint64_t rpath = 0, runpath = 0;
    for (std::size_t at = 0; at + entry <= table.size(); at += entry) {
        const std::uint64_t tag = in.number(table, at, entry / 2);
        const std::uint64_t value = in.number(table, at + entry / 2, entry / 2);
        if (tag == DT_NULL) {
            break;
        } else if (tag == DT_STRTAB) {
            strtab = value;
        } else if (tag == DT_STRSZ) {
            strsz = value;
        } else if (tag == DT_NEEDED && needed.size() < NEEDED_MAX) {
            needed.push_back(value);
        } else if (tag == DT_RPATH) {
            elf.hasRpath = true;
            rpath = value;
        } else if (tag == DT_RUNPATH) {
            elf.hasRunpath = true;
            runpath = value;
        } else if ((tag == DT_FLAGS && (value & DF_BIND_NOW) != 0) ||
                   (tag == DT_FLAGS_1 && (value & DF_1_NOW) != 0) || tag == DT_BIND_NOW) {
            elf.bindNow = true;
        }
    }
    std::uint64_t base = 0;
    if (!fileOffset(segments, strtab, base)) {
        return;
    }
    // A string offset past DT_STRSZ or the file yields an empty string.
    const auto text = [&](std::uint64_t index) {
        return index < strsz ? stringAt(in, base + index, strsz - index) : std::string();
    };
    for (std::uint64_t index : needed) {
        elf.needed.push_back(text(index));
    }
    elf.rpath = elf.hasRpath ? text(rpath) : std::string();
    elf.runpath = elf.hasRunpath ? text(runpath) : std::string();
}

ElfDamage damageOf(ElfDamageKind kind, std::uint16_t type = 0, std::uint64_t at = 0,
                   std::uint64_t size = 0) {
    ElfDamage damage;
    damage.kind = kind;
    damage.type = type;
    damage.at = at;
    damage.size = size;
    return damage;
}

// `refused`: the kernel refuses the file at the exec. Otherwise the exec
// succeeds and the program dies once it touches what is missing.
void markDamaged(ElfFile& elf, const ElfDamage& why, bool refused = true) {
    if (!elf.damaged) {
        elf.damaged = true;
        elf.damage = why;
        elf.execRefused = refused;
    }
}

void readSectionNotes(const Reader& in, const std::string& header, bool is64, ElfFile& elf) {
    const std::uint64_t shoff = in.number(header, is64 ? 40 : 32, is64 ? 8 : 4);
    const std::uint64_t entsize = in.number(header, is64 ? 58 : 46, 2);
    const std::uint64_t count = in.number(header, is64 ? 60 : 48, 2);
    std::string table;
    if (shoff == 0 || entsize < (is64 ? 64u : 40u) ||
        !in.read(shoff, std::min(entsize * count, TABLE_MAX), table)) {
        return;
    }
    for (std::size_t at = 0; at + entsize <= table.size(); at += entsize) {
        if (in.number(table, at + 4, 4) != SHT_NOTE) {
            continue;
        }
        const std::uint64_t offset = in.number(table, at + (is64 ? 24 : 16), is64 ? 8 : 4);
        const std::uint64_t size = in.number(table, at + (is64 ? 32 : 20), is64 ? 8 : 4);
        const std::uint64_t align = in.number(table, at + (is64 ? 48 : 32), is64 ? 8 : 4);
        std::string bytes;
        if (in.read(offset, std::min(size, TABLE_MAX), bytes)) {
            parseNotes(in, bytes, align, elf.notes);
        }
    }
}

// The identification bytes: the class and byte order, or the damage that
// hides them. False when the file goes no further.
bool readIdentification(const std::string& header, ElfFile& elf) {
    if (header.size() < EI_NIDENT) {
        markDamaged(elf, damageOf(ElfDamageKind::EndsInIdentification));
        return false;
    }
    const auto identClass = static_cast<unsigned char>(header[EI_CLASS]);
    const auto identData = static_cast<unsigned char>(header[EI_DATA]);
    elf.elfClass = identClass == ELFCLASS32 ? 32 : identClass == ELFCLASS64 ? 64 : 0;
    elf.byteOrder = identData == ELFDATA2LSB ? 1 : identData == ELFDATA2MSB ? 2 : 0;
    if (elf.elfClass == 0 || elf.byteOrder == 0) {
        markDamaged(elf, damageOf(ElfDamageKind::UndefinedClassOrOrder));
        return false;
    }
    return true;
}

// The program header table, each loadable segment checked against the
// file's end; empty when the table itself is missing or malformed.
std::vector<Segment> readSegments(const Reader& in, const std::string& header, bool is64,
                                  std::uint64_t size, ElfFile& elf) {
    const std::uint64_t phoff = in.number(header, is64 ? 32 : 28, is64 ? 8 : 4);
    const std::uint64_t phentsize = in.number(header, is64 ? 54 : 42, 2);
    const std::uint64_t phnum = in.number(header, is64 ? 56 : 44, 2);
    const std::uint64_t entry = is64 ? 56 : 32;
    std::vector<Segment> segments;
    if (phnum == 0) {
        markDamaged(elf, damageOf(ElfDamageKind::NoProgramHeaders));
        return segments;
    }
    std::string table;
    if (phentsize != entry || phnum * entry > TABLE_MAX) {
        markDamaged(elf, damageOf(ElfDamageKind::MalformedHeaderTable));
        return segments;
    }
    if (!in.read(phoff, phnum * entry, table)) {
        markDamaged(elf, damageOf(ElfDamageKind::HeadersPastEnd, 0, 0, size));
        return segments;
    }
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const std::size_t at = static_cast<std::size_t>(i * entry);
        Segment s;
        s.type = static_cast<std::uint32_t>(in.number(table, at, 4));
        s.offset = in.number(table, at + (is64 ? 8 : 4), is64 ? 8 : 4);
        s.vaddr = in.number(table, at + (is64 ? 16 : 8), is64 ? 8 : 4);
        s.filesz = in.number(table, at + (is64 ? 32 : 16), is64 ? 8 : 4);
        s.align = in.number(table, at + (is64 ? 48 : 28), is64 ? 8 : 4);
        segments.push_back(s);
        if (s.type == PT_LOAD && reaches(s.offset, s.filesz, size)) {
            markDamaged(elf, damageOf(ElfDamageKind::SegmentPastEnd, 0, s.offset + s.filesz, size),
                        false);
        }
    }
    return segments;
}

// The loader's name, the dynamic section and the notes of the segments.
void readSegmentContents(const Reader& in, const std::vector<Segment>& segments, bool is64,
                         ElfFile& elf) {
    // Section notes, where there are any, say the same, each section apart:
    // one malformed section cannot hide the notes after it.
    const bool sectionNotes = !elf.notes.empty();
    for (const Segment& s : segments) {
        std::string bytes;
        if (s.type == PT_INTERP) {
            elf.hasInterpreter = true;
            if (s.filesz == 0 || s.filesz > STRING_MAX || !in.read(s.offset, s.filesz, bytes)) {
                markDamaged(elf, damageOf(ElfDamageKind::MalformedLoaderName));
            }
            elf.interpreter = bytes.c_str();
        } else if (s.type == PT_DYNAMIC) {
            readDynamic(in, s, segments, is64, elf);
        } else if (s.type == PT_NOTE && !sectionNotes &&
                   in.read(s.offset, std::min(s.filesz, TABLE_MAX), bytes)) {
            parseNotes(in, bytes, s.align, elf.notes);
        }
    }
}

// The file at `path` opened for reading, when it is a regular file, and
// its size; -1 otherwise. Opening a device can have effects of its own,
// and a named pipe put in a program's place must not stall the check.
int openRegular(const std::string& path, std::uint64_t& size) {
    struct stat before {};
    if (stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) {
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return -1;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return fd;
}

struct Section {
    std::uint32_t type = 0, link = 0;
    std::uint64_t offset = 0, size = 0, entsize = 0;
};

// The section header table; false when there is none or it is malformed.
bool readSections(const Reader& in, const std::string& header, bool is64,
                  std::vector<Section>& sections) {
    const std::uint64_t shoff = in.number(header, is64 ? 40 : 32, is64 ? 8 : 4);
    const std::uint64_t entsize = in.number(header, is64 ? 58 : 46, 2);
    const std::uint64_t count = in.number(header, is64 ? 60 : 48, 2);
    std::string table;
    if (shoff == 0 || count == 0 || entsize < (is64 ? 64u : 40u) || entsize * count > TABLE_MAX ||
        !in.read(shoff, entsize * count, table)) {
        return false;
    }
    for (std::size_t at = 0; at + entsize <= table.size(); at += entsize) {
        Section s;
        s.type = static_cast<std::uint32_t>(in.number(table, at + 4, 4));
        s.offset = in.number(table, at + (is64 ? 24 : 16), is64 ? 8 : 4);
        s.size = in.number(table, at + (is64 ? 32 : 20), is64 ? 8 : 4);
        s.link = static_cast<std::uint32_t>(in.number(table, at + (is64 ? 40 : 24), 4));
        s.entsize = in.number(table, at + (is64 ? 56 : 36), is64 ? 8 : 4);
        sections.push_back(s);
    }
    return true;
}

// `name` among the symbols of the SHT_DYNSYM section, as dlsym takes them:
// defined here, global, weak or unique, of default or protected visibility.
SymbolFound searchSymbols(const Reader& in, const std::string& header, bool is64,
                          const std::string& name) {
    std::vector<Section> sections;
    if (!readSections(in, header, is64, sections)) {
        return SymbolFound::Unread;
    }
    const std::uint64_t entry = is64 ? 24 : 16;
    for (const Section& s : sections) {
        if (s.type != SHT_DYNSYM) {
            continue;
        }
        std::string symbols;
        std::string strings;
        if (s.entsize != entry || s.link >= sections.size() || s.size > SYMBOLS_MAX ||
            sections[s.link].size > SYMBOLS_MAX || !in.read(s.offset, s.size, symbols) ||
            !in.read(sections[s.link].offset, sections[s.link].size, strings)) {
            return SymbolFound::Unread;
        }
        for (std::size_t at = 0; at + entry <= symbols.size(); at += entry) {
            const std::uint64_t nameAt = in.number(symbols, at, 4);
            const auto info = static_cast<unsigned char>(symbols[at + (is64 ? 4 : 12)]);
            const auto visibility = static_cast<unsigned char>(symbols[at + (is64 ? 5 : 13)]) & 3;
            const std::uint64_t index = in.number(symbols, at + (is64 ? 6 : 14), 2);
            const unsigned bind = info >> 4;
            if (index != SHN_UNDEF &&
                (bind == STB_GLOBAL || bind == STB_WEAK || bind == STB_GNU_UNIQUE) &&
                (visibility == STV_DEFAULT || visibility == STV_PROTECTED) &&
                nameAt < strings.size() &&
                strings.compare(nameAt, name.size() + 1, name.c_str(), name.size() + 1) == 0) {
                return SymbolFound::Defined;
            }
        }
        return SymbolFound::Missing;
    }
    return SymbolFound::Unread;
}

}  // namespace

ElfFile readElfFile(int fd, std::uint64_t size) {
    ElfFile elf;
    std::string header;
    const Reader probe(fd, size, false);
    if (!probe.read(0, std::min<std::uint64_t>(size, HEADER_BYTES), header)) {
        return elf;
    }
    elf.opened = true;
    elf.header = header;
    if (header.compare(0, 4, ELFMAG, SELFMAG) != 0) {
        return elf;
    }
    elf.isElf = true;
    if (!readIdentification(header, elf)) {
        return elf;
    }
    const bool is64 = elf.elfClass == 64;
    const Reader in(fd, size, elf.byteOrder == 2);
    if (header.size() < (is64 ? 64u : 52u)) {
        markDamaged(elf, damageOf(ElfDamageKind::EndsInHeader));
        return elf;
    }
    elf.type = static_cast<std::uint16_t>(in.number(header, 16, 2));
    elf.machine = static_cast<std::uint16_t>(in.number(header, 18, 2));
    readSectionNotes(in, header, is64, elf);
    // Checked first: an object file or a core dump has no program headers
    // to run, and is no program cut short.
    if (elf.type != ET_EXEC && elf.type != ET_DYN) {
        markDamaged(elf, damageOf(ElfDamageKind::NotAProgram, elf.type));
    }
    const std::vector<Segment> segments = readSegments(in, header, is64, size, elf);
    readSegmentContents(in, segments, is64, elf);
    return elf;
}

ElfFile readElfFile(const std::string& path) {
    std::uint64_t size = 0;
    const int fd = openRegular(path, size);
    if (fd < 0) {
        return ElfFile();
    }
    ElfFile elf = readElfFile(fd, size);
    close(fd);
    return elf;
}

SymbolFound findDynamicSymbol(const std::string& path, const std::string& name) {
    std::uint64_t size = 0;
    const int fd = openRegular(path, size);
    if (fd < 0) {
        return SymbolFound::Unread;
    }
    SymbolFound found = SymbolFound::Unread;
    std::string header;
    ElfFile elf;
    const Reader probe(fd, size, false);
    if (probe.read(0, std::min<std::uint64_t>(size, HEADER_BYTES), header) &&
        header.compare(0, 4, ELFMAG, SELFMAG) == 0 && readIdentification(header, elf) &&
        header.size() >= (elf.elfClass == 64 ? 64u : 52u)) {
        const Reader in(fd, size, elf.byteOrder == 2);
        found = searchSymbols(in, header, elf.elfClass == 64, name);
    }
    close(fd);
    return found;
}

std::string machineName(std::uint16_t machine) {
    switch (machine) {
        case EM_386:
            return "i386";
        case EM_X86_64:
            return "x86-64";
        case EM_ARM:
            return "ARM";
        case EM_AARCH64:
            return "AArch64";
        case EM_RISCV:
            return "RISC-V";
        case EM_PPC:
            return "PowerPC";
        case EM_PPC64:
            return "PowerPC64";
        case EM_S390:
            return "s390";
        case EM_MIPS:
            return "MIPS";
        case EM_SPARC:
        case EM_SPARCV9:
            return "SPARC";
        case EM_IA_64:
            return "IA-64";
        case 258:  // EM_LOONGARCH, missing from older headers
            return "LoongArch";
        default:
            return "machine " + std::to_string(machine);
    }
}

std::string programKind(const ElfFile& elf) {
    return (elf.elfClass == 0 ? std::string("unknown-class")
                              : std::to_string(elf.elfClass) + "-bit") +
           " " + machineName(elf.machine);
}
