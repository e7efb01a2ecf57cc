// The ELF reader, the kernel's verdict, the library lookup and the launcher
// copies, on small ELF files made here byte by byte.
#include <elf.h>
#include <sys/personality.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "TempDir.h"
#include "core/Check.h"
#include "facts/ElfFile.h"
#include "facts/Kernel.h"
#include "facts/LauncherCopies.h"
#include "facts/LibraryLookup.h"
#include "launcher/LauncherNote.h"
#include "rules/FactText.h"

namespace {

namespace fs = boost::filesystem;

struct Layout {
    int elfClass = 64;
    std::uint16_t machine = EM_X86_64;
    bool bigEndian = false;
    std::string interpreter;
    std::vector<std::string> needed;
    std::string runpath;
    std::vector<ElfNote> notes;
    std::size_t cut = 0;  // bytes cut off the end
};

Layout i386() {
    Layout layout;
    layout.elfClass = 32;
    layout.machine = EM_386;
    return layout;
}

// A shared object as a linker lays it out: headers, one PT_LOAD over the
// whole file at a virtual address unlike its offset, then the loader's
// name, the string table, the dynamic table and the notes.
std::string makeElf(const Layout& layout) {
    const bool is64 = layout.elfClass == 64;
    const std::size_t word = is64 ? 8 : 4, ehsize = is64 ? 64 : 52, phsize = is64 ? 56 : 32;
    const std::uint64_t base = 0x10000;
    std::string strtab(1, '\0');
    std::vector<std::pair<std::uint64_t, std::uint64_t>> dynamic;
    for (const std::string& name : layout.needed) {
        dynamic.emplace_back(DT_NEEDED, strtab.size());
        strtab += name + '\0';
    }
    if (!layout.runpath.empty()) {
        dynamic.emplace_back(DT_RUNPATH, strtab.size());
        strtab += layout.runpath + '\0';
    }
    std::string notes;
    const auto pad = [](std::string& s) { s.resize((s.size() + 3) / 4 * 4, '\0'); };
    std::string out;
    const auto put = [&](std::string& to, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (layout.bigEndian ? width - 1 - i : i);
            to += static_cast<char>((value >> shift) & 0xff);
        }
    };
    for (const ElfNote& note : layout.notes) {
        put(notes, note.name.size() + 1, 4);
        put(notes, note.descriptor.size(), 4);
        put(notes, note.type, 4);
        notes += note.name + '\0';
        pad(notes);
        notes += note.descriptor;
        pad(notes);
    }
    const std::size_t phnum = 1 + !layout.interpreter.empty() + !dynamic.empty() + !notes.empty();
    const std::uint64_t interpAt = ehsize + phnum * phsize;
    const std::uint64_t strtabAt = interpAt + layout.interpreter.size() + 1;
    const std::uint64_t dynamicAt = (strtabAt + strtab.size() + 7) / 8 * 8;
    dynamic.emplace_back(DT_STRTAB, base + strtabAt);
    dynamic.emplace_back(DT_STRSZ, strtab.size());
    dynamic.emplace_back(DT_NULL, 0);
    const std::uint64_t notesAt = dynamicAt + dynamic.size() * 2 * word;
    const std::uint64_t total = notesAt + notes.size();

    out = std::string(
              "\x7f"
              "ELF",
              4) +
          char(is64 ? 2 : 1) + char(layout.bigEndian ? 2 : 1) + char(1) + std::string(9, '\0');
    put(out, ET_DYN, 2);
    put(out, layout.machine, 2);
    put(out, 1, 4);
    put(out, 0, word);       // entry
    put(out, ehsize, word);  // program headers
    put(out, 0, word);       // no section headers
    put(out, 0, 4);
    for (std::uint64_t v :
         {ehsize, phsize, phnum, std::size_t{0}, std::size_t{0}, std::size_t{0}}) {
        put(out, v, 2);
    }
    const auto segment = [&](std::uint32_t type, std::uint64_t offset, std::uint64_t size) {
        put(out, type, 4);
        if (is64) {
            put(out, 4, 4);
        }
        for (std::uint64_t v : {offset, base + offset, base + offset, size, size}) {
            put(out, v, word);
        }
        if (!is64) {
            put(out, 4, 4);
        }
        put(out, 4, word);
    };
    segment(PT_LOAD, 0, total);
    if (!layout.interpreter.empty()) {
        segment(PT_INTERP, interpAt, layout.interpreter.size() + 1);
    }
    if (dynamic.size() > 3) {
        segment(PT_DYNAMIC, dynamicAt, dynamic.size() * 2 * word);
    }
    if (!notes.empty()) {
        segment(PT_NOTE, notesAt, notes.size());
    }
    out += layout.interpreter + '\0' + strtab;
    out.resize(dynamicAt, '\0');
    for (const auto& entry : dynamic) {
        put(out, entry.first, word);
        put(out, entry.second, word);
    }
    out += notes;
    return out.substr(0, out.size() - layout.cut);
}

ElfFile readBytes(const TempDir& dir, const std::string& bytes) {
    return readElfFile(dir.write("file", bytes));
}

TEST(ElfFile, ReadsHandMadeFilesOfBothClassesAndByteOrders) {
    const TempDir dir;
    Layout layout;
    layout.interpreter = "/lib64/ld-linux-x86-64.so.2";
    layout.needed = {"libfoo.so.1", "libc.so.6"};
    layout.runpath = "$ORIGIN/lib";
    layout.notes = {ElfNote{"GNU", 3, "abcd"}, ElfNote{"Dashvane", 7, "1.2"}};
    for (const Layout& variant : {layout,
                                  [&] {
                                      Layout s = layout;
                                      s.elfClass = 32;
                                      s.machine = EM_386;
                                      return s;
                                  }(),
                                  [&] {
                                      Layout s = layout;
                                      s.bigEndian = true;
                                      s.machine = EM_PPC64;
                                      return s;
                                  }()}) {
        SCOPED_TRACE(variant.elfClass);
        const ElfFile elf = readBytes(dir, makeElf(variant));
        EXPECT_TRUE(elf.isElf);
        EXPECT_FALSE(elf.damaged) << elfDamageText(elf.damage);
        EXPECT_EQ(elf.elfClass, variant.elfClass);
        EXPECT_EQ(elf.byteOrder, variant.bigEndian ? 2 : 1);
        EXPECT_EQ(elf.machine, variant.machine);
        EXPECT_EQ(elf.interpreter, layout.interpreter);
        EXPECT_EQ(elf.needed, layout.needed);
        EXPECT_TRUE(elf.hasRunpath);
        EXPECT_EQ(elf.runpath, "$ORIGIN/lib");
        ASSERT_EQ(elf.notes.size(), 2u);
        EXPECT_EQ(elf.notes[1].name, "Dashvane");
        EXPECT_EQ(elf.notes[1].type, 7u);
        EXPECT_EQ(elf.notes[1].descriptor, "1.2");
    }
}

// What the kernel makes of a file, judged for a given kernel.
TEST(ElfFile, DamageAndMachineAsTheKernelJudgesThem) {
    const TempDir dir;
    fs::create_directories(dir.path() + "/binfmt");
    dir.write("binfmt/status", "enabled\n");
    dir.write("binfmt/qemu-arm",
              "enabled\ninterpreter /usr/bin/qemu-arm\nflags: F\noffset 0\n"
              "magic 7f454c4601010100000000000000000002002800\n"
              "mask ffffffffffffff00fffffffffffffffffeffffff\n");
    Layout arm;
    arm.elfClass = 32;
    arm.machine = EM_ARM;
    Layout cut;
    cut.needed = {"libc.so.6"};
    cut.cut = 1;  // the last byte of the loadable segment is missing
    Layout headers;
    const std::string whole = makeElf(Layout());
    const struct {
        const char* what;
        std::string bytes;
        const char* machine;
        bool runs32Bit, binfmt;
        bool damaged, runs;
    } cases[] = {
        {"x86-64 on x86-64", whole, "x86_64", true, false, false, true},
        {"i386 on x86-64", makeElf(i386()), "x86_64", true, false, false, true},
        {"i386 without IA32 emulation", makeElf(i386()), "x86_64", false, false, false, false},
        {"i386 on i686", makeElf(i386()), "i686", true, false, false, true},
        {"x86-64 on a 32-bit kernel", whole, "i686", true, false, false, false},
        {"ARM on x86-64", makeElf(arm), "x86_64", true, false, false, false},
        {"ARM through qemu-user", makeElf(arm), "x86_64", true, true, false, true},
        {"AArch64 on aarch64",
         [] {
             Layout s;
             s.machine = EM_AARCH64;
             return makeElf(s);
         }(),
         "aarch64", true, false, false, true},
        {"truncated segment", makeElf(cut), "x86_64", true, false, true, true},
        {"cut inside the program headers", whole.substr(0, 80), "x86_64", true, false, true, true},
        {"cut inside the ELF header", whole.substr(0, 40), "x86_64", true, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ElfFile elf = readBytes(dir, c.bytes);
        EXPECT_EQ(elf.damaged, c.damaged) << elfDamageText(elf.damage);
        if (!c.damaged) {
            KernelInfo kernel{c.machine, c.runs32Bit, c.binfmt ? dir.path() + "/binfmt" : ""};
            EXPECT_EQ(kernelRuns(elf, kernel).runs(), c.runs);
        }
    }
    // An object file has no program headers, and is no program cut short.
    std::string object = whole;
    object[16] = ET_REL;
    object[56] = 0;
    EXPECT_EQ(elfDamageText(readBytes(dir, object).damage),
              "it is an ELF object of type 1 (a relocatable object file), not a program or a "
              "shared library");
}

// The entry binfmt_misc picks for a file: magic entries by the first bytes
// under their mask, extension entries by what follows the last '.' of the
// whole path, disabled entries never, and nothing while binfmt_misc is off.
TEST(ElfFile, BinfmtEntriesAsTheKernelMatchesThem) {
    const TempDir dir;
    fs::create_directories(dir.path() + "/on");
    dir.write("on/status", "enabled\n");
    dir.write("on/magic",
              "enabled\ninterpreter /usr/bin/m\nflags: \noffset 2\nmagic 4142\nmask ff5f\n");
    dir.write("on/jar", "enabled\ninterpreter /usr/bin/j\nflags: F\nextension .jar\n");
    dir.write("on/off", "disabled\ninterpreter /usr/bin/o\nflags: \noffset 0\nmagic 5858\n");
    fs::create_directories(dir.path() + "/down");
    dir.write("down/status", "disabled\n");
    dir.write("down/jar", "enabled\ninterpreter /usr/bin/j\nflags: F\nextension .jar\n");
    const struct {
        const char* dir;
        const char* path;
        const char* header;
        const char* entry;
    } rows[] = {
        {"on", "/x/prog", "__AB", "magic"}, {"on", "/x/prog", "__Ab", "magic"},
        {"on", "/x/prog", "AB__", ""},      {"on", "/x/app.jar", "", "jar"},
        {"on", "/x.jar/app", "", ""},       {"on", "/x/app.jar.bak", "", ""},
        {"on", "/x/prog", "XX", ""},        {"down", "/x/app.jar", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.dir) + " " + row.path + " " + row.header);
        const KernelInfo kernel{"x86_64", true, dir.path() + "/" + row.dir};
        const BinfmtEntry entry = binfmtEntryFor(kernel, row.path, row.header);
        EXPECT_EQ(entry.name, row.entry);
        EXPECT_EQ(entry.preopened, std::string(row.entry) == "jar");
    }
}

// Files laid out in a temporary directory, found as the loader would.
class Libraries : public ::testing::Test {
protected:
    std::string file(const std::string& name, const Layout& layout) const {
        fs::create_directories(fs::path(dir.path() + "/" + name).parent_path());
        const std::string path = dir.write(name, makeElf(layout));
        chmod(path.c_str(), 0755);
        return path;
    }
    LinkCheck check(const std::string& program, const std::string& ldLibraryPath = "") const {
        LookupPlaces places;
        places.ldLibraryPath = ldLibraryPath;
        places.cache = dir.path() + "/ld.so.cache";
        places.defaultDirs = {dir.path() + "/default"};
        places.workingDir = dir.path();
        return checkLinking(program, readElfFile(program), places);
    }
    std::vector<std::string> missing(const std::string& program,
                                     const std::string& ldLibraryPath = "") const {
        std::vector<std::string> names;
        for (const MissingLibrary& library : check(program, ldLibraryPath).missing) {
            names.push_back(library.name + " for " +
                            fs::path(library.neededBy).filename().native());
        }
        return names;
    }
    TempDir dir;
};

TEST_F(Libraries, LoaderMissingOrOfTheWrongClass) {
    Layout program;
    program.interpreter = dir.path() + "/ld.so";
    const std::string path = file("app/prog", program);
    EXPECT_EQ(check(path).loaderProblem, LoaderProblem::Missing);
    file("ld.so", i386());
    EXPECT_EQ(check(path).loaderProblem, LoaderProblem::OtherKind);
    EXPECT_EQ(check(path).loaderKind, "32-bit i386");
    file("ld.so", Layout());
    EXPECT_EQ(check(path).loaderProblem, LoaderProblem::None);
}

TEST_F(Libraries, FoundThroughOriginRunpathPathsCacheAndDefaults) {
    Layout program;
    program.needed = {"libfoo.so"};
    program.runpath = "${ORIGIN}/../lib";
    const std::string path = file("app/bin/prog", program);
    // $ORIGIN is the program's own directory, also when started through a link.
    fs::create_directories(dir.path() + "/elsewhere");
    fs::create_symlink(path, dir.path() + "/elsewhere/prog");
    const std::string link = dir.path() + "/elsewhere/prog";
    EXPECT_EQ(missing(link), std::vector<std::string>{"libfoo.so for prog"});

    // A library of the other class is passed over, as the loader does.
    Layout x32;
    x32.elfClass = 32;
    for (const Layout& other : {i386(), x32}) {
        file("app/lib/libfoo.so", other);
        EXPECT_EQ(missing(link), std::vector<std::string>{"libfoo.so for prog"});
    }
    file("other/libfoo.so", Layout());
    EXPECT_EQ(missing(link, dir.path() + "/other"), std::vector<std::string>{});

    Layout foo;
    foo.needed = {"libbar.so", "libbaz.so"};
    file("app/lib/libfoo.so", foo);
    EXPECT_EQ(missing(link),
              (std::vector<std::string>{"libbar.so for libfoo.so", "libbaz.so for libfoo.so"}));
    file("default/libbar.so", Layout());
    // The cache: its entry for libbaz.so counts for 64-bit x86-64 programs only.
    const std::string target = file("cached/libbaz.so", Layout());
    const auto cache = [&](std::uint32_t flags) {
        std::string bytes = "glibc-ld.so.cache1.1";
        const std::string strings = std::string("libbaz.so") + '\0' + target + '\0';
        const auto u32 = [&](std::uint32_t v) { bytes.append(reinterpret_cast<char*>(&v), 4); };
        u32(1);
        u32(static_cast<std::uint32_t>(strings.size()));
        bytes.resize(48, '\0');
        for (std::uint32_t v : {flags, 72u, 82u, 0u, 0u, 0u}) {
            u32(v);
        }
        dir.write("ld.so.cache", bytes + strings);
    };
    cache(0x0003);
    EXPECT_EQ(missing(link), std::vector<std::string>{"libbaz.so for libfoo.so"});
    cache(0x0303);
    EXPECT_EQ(missing(link), std::vector<std::string>{});
}

// The dynamic symbol table of a library the system's compiler built, then
// damaged as a hostile file might be: every offset out of bounds is refused
// and nothing is found past the end of a table.
TEST(ElfFile, DynamicSymbolsOfDamagedLibraries) {
    const TempDir dir;
    const std::string source =
        dir.write("agent.c", "int Agent_OnLoad(void* v, char* o, void* r) { return 0; }\n");
    const std::string built = dir.path() + "/libagent.so";
    if (std::system(("cc -shared -fPIC -o " + built + " " + source + " 2>/dev/null").c_str()) !=
        0) {
        GTEST_SKIP() << "the system's compiler (cc) builds no library here";
    }
    std::ifstream in(built, std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto get = [&good](std::size_t at, std::size_t width) {
        std::uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;) {
            value = value << 8 | static_cast<unsigned char>(good[at + i]);
        }
        return value;
    };
    const std::uint64_t shoff = get(40, 8), shentsize = get(58, 2), shnum = get(60, 2);
    std::uint64_t dynsym = 0;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        dynsym = get(shoff + i * shentsize + 4, 4) == SHT_DYNSYM ? shoff + i * shentsize : dynsym;
    }
    ASSERT_NE(dynsym, 0u);
    const std::uint64_t strtab = shoff + get(dynsym + 40, 4) * shentsize;
    const auto set = [](std::string bytes, std::uint64_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) {
            bytes[at + static_cast<std::uint64_t>(i)] = static_cast<char>(value >> (8 * i) & 0xff);
        }
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
        const char* symbol;
        SymbolFound found;
    } rows[] = {
        {"as built", good, "Agent_OnLoad", SymbolFound::Defined},
        {"a name it lacks", good, "JVM_OnLoad", SymbolFound::Missing},
        {"section headers past the end", set(good, 40, good.size() - 8, 8), "Agent_OnLoad",
         SymbolFound::Unread},
        {"symbols past the end", set(good, dynsym + 24, good.size(), 8), "Agent_OnLoad",
         SymbolFound::Unread},
        {"symbols of a huge size", set(good, dynsym + 32, ~0ull >> 1, 8), "Agent_OnLoad",
         SymbolFound::Unread},
        {"strings linked to no section", set(good, dynsym + 40, 0xffff, 4), "Agent_OnLoad",
         SymbolFound::Unread},
        {"strings cut short", set(good, strtab + 32, 1, 8), "Agent_OnLoad", SymbolFound::Missing},
        {"cut in the section headers", good.substr(0, shoff + 10), "Agent_OnLoad",
         SymbolFound::Unread},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(findDynamicSymbol(dir.write("lib.so", row.bytes), row.symbol), row.found)
            << row.what;
    }
    // The 32-bit table's fields lie elsewhere: read where a compiler builds one.
    const std::string built32 = dir.path() + "/libagent32.so";
    if (std::system(
            ("cc -m32 -shared -fPIC -o " + built32 + " " + source + " 2>/dev/null").c_str()) == 0) {
        EXPECT_EQ(findDynamicSymbol(built32, "Agent_OnLoad"), SymbolFound::Defined);
        EXPECT_EQ(findDynamicSymbol(built32, "JVM_OnLoad"), SymbolFound::Missing);
    }
}

TEST(Kernel, RunsThisProgramAndFindsItsLibrariesWithTheRealCache) {
    const std::string self = fs::read_symlink("/proc/self/exe").native();
    const ElfFile elf = readElfFile(self);
    EXPECT_TRUE(kernelRuns(elf, KernelInfo::current()).runs());
    LookupPlaces places;
    const LinkCheck found = checkLinking(self, elf, places);
    EXPECT_EQ(found.loaderProblem, LoaderProblem::None);
    EXPECT_TRUE(found.missing.empty()) << found.missing.front().name;
}

// setarch i686 must not make a 64-bit kernel look like a 32-bit one.
TEST(Kernel, MachineIsTheKernelsUnderA32BitPersonality) {
    const std::string machine = KernelInfo::current().machine;
    const std::size_t pointer = kernelPointerSize();
    const int persona = personality(0xffffffff);
    ASSERT_NE(personality(PER_LINUX32), -1);
    const std::string under32 = KernelInfo::current().machine;
    const std::size_t pointerUnder32 = kernelPointerSize();
    const int restored = personality(0xffffffff);
    personality(static_cast<unsigned long>(persona));
    EXPECT_EQ(under32, machine);
    EXPECT_EQ(pointerUnder32, pointer);
    EXPECT_EQ(restored, PER_LINUX32);
    EXPECT_GE(pointer, sizeof(void*));
}

// --- Launcher copies ------------------------------------------------------

std::string launcher(const std::string& version) {
    Layout layout;
    layout.notes = {ElfNote{"GNU", 3, "abcd"},
                    ElfNote{LAUNCHER_NOTE_NAME, LAUNCHER_NOTE_TYPE, version + '\0'}};
    return makeElf(layout);
}

std::vector<std::string> copyKinds(const std::string& dir) {
    const CopySearch copies = findLauncherCopies(dir);
    std::vector<std::string> kinds;
    for (const Finding& warning : inspectApplication(dir, "./run", &copies).found) {
        if (std::string(kindOf(warning.kind).name).find("cop") != std::string::npos) {
            kinds.push_back(std::string(kindOf(warning.kind).name));
        }
    }
    return kinds;
}

TEST(LauncherCopies, FoundByTheirNoteAndJudged) {
    const TempDir dir;
    const std::string& app = dir.path();
    EXPECT_EQ(copyKinds(app), std::vector<std::string>{"no-launcher-copy"});
    // The copy a link to a launcher that is gone: said to be that.
    fs::create_symlink(app + "/gone", app + "/run");
    const CopySearch none = findLauncherCopies(app);
    std::vector<std::string> linkKinds;
    for (const Finding& warning : inspectApplication(app, "./run", &none).found) {
        if (std::string(kindOf(warning.kind).name) == "dangling-link" ||
            std::string(kindOf(warning.kind).name) == "no-launcher-copy") {
            linkKinds.push_back(std::string(kindOf(warning.kind).name));
        }
    }
    EXPECT_EQ(linkKinds, std::vector<std::string>{"dangling-link"});
    fs::remove(app + "/run");

    chmod(dir.write("shop", launcher(DVL_VERSION)).c_str(), 0755);
    dir.write("run.ini", "-vmargs\n");
    dir.write("other", makeElf(Layout()));
    ASSERT_EQ(mkfifo((app + "/pipe").c_str(), 0755), 0);
    EXPECT_EQ(copyKinds(app), std::vector<std::string>{"ini-without-copy"});
    // Checked as the copy, whose own ini file is missing: still one finding.
    const CopySearch shop = findLauncherCopies(app);
    std::vector<std::string> iniKinds;
    for (const Finding& warning : inspectApplication(app, "./shop", &shop).found) {
        if (std::string(kindOf(warning.kind).name).compare(0, 4, "ini-") == 0) {
            iniKinds.push_back(std::string(kindOf(warning.kind).name));
        }
    }
    EXPECT_EQ(iniKinds, std::vector<std::string>{"ini-without-copy"});

    fs::rename(app + "/shop", app + "/real");
    fs::create_symlink(app + "/real", app + "/run");
    dir.write("real.ini", "-vmargs\n");
    dir.write("old", launcher("0.0.1"));
    const CopySearch found = findLauncherCopies(app);
    ASSERT_EQ(found.copies.size(), 3u);
    EXPECT_EQ(found.copies[0].name, "old");
    EXPECT_FALSE(found.copies[0].executable);
    EXPECT_EQ(found.copies[0].version, "0.0.1");
    EXPECT_TRUE(found.copies[2].symlink);
    EXPECT_EQ(found.iniFiles, (std::vector<std::string>{"real.ini", "run.ini"}));
    EXPECT_EQ(copyKinds(app),
              (std::vector<std::string>{"launcher-copy-not-executable", "launcher-copy-stale",
                                        "several-launcher-copies"}));
    // One copy, a link to the installed launcher, beside its ini file: clean.
    const TempDir installed;
    const std::string program = installed.write("dashvane-launcher", launcher(DVL_VERSION));
    chmod(program.c_str(), 0755);
    for (const char* name : {"old", "real.ini", "real", "run"}) {
        fs::remove(app + "/" + name);
    }
    fs::create_symlink(program, app + "/run");
    EXPECT_EQ(copyKinds(app), std::vector<std::string>{});
}

}  // namespace
