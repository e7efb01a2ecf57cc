#include "facts/LibraryLookup.h"

#include <elf.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

// Bounds: a program with more libraries than this is not a Dashvane, and a
// loader cache this large is not one ldconfig wrote.
constexpr std::size_t OBJECTS_MAX = 512;
constexpr std::streamsize CACHE_MAX = 16 << 20;
const std::string CACHE_MAGIC = "glibc-ld.so.cache1.1";
const std::string OLD_CACHE_MAGIC = "ld.so-1.7.0";
constexpr std::uint32_t FLAG_ELF_LIBC6 = 0x0003;

// The Debian multiarch name of a kind of program; empty where none is known.
std::string multiarch(const ElfFile& elf) {
    const bool is64 = elf.elfClass == 64;
    switch (elf.machine) {
        case EM_X86_64:
            return is64 ? "x86_64-linux-gnu" : "x86_64-linux-gnux32";
        case EM_386:
            return "i386-linux-gnu";
        case EM_AARCH64:
            return "aarch64-linux-gnu";
        case EM_ARM:
            return "arm-linux-gnueabihf";
        case EM_PPC64:
            return elf.byteOrder == 1 ? "powerpc64le-linux-gnu" : "powerpc64-linux-gnu";
        case EM_S390:
            return is64 ? "s390x-linux-gnu" : std::string();
        case EM_RISCV:
            return is64 ? "riscv64-linux-gnu" : std::string();
        default:
            return std::string();
    }
}

// The architecture bits ldconfig gives a library of this kind in the cache;
// -1 where they are not known here (then only the file itself is judged).
long cacheArchFlags(const ElfFile& elf) {
    const bool is64 = elf.elfClass == 64;
    switch (elf.machine) {
        case EM_X86_64:
            return is64 ? 0x0300 : 0x0800;
        case EM_386:
            return 0;
        case EM_AARCH64:
            return 0x0a00;
        case EM_PPC64:
            return 0x0500;
        case EM_S390:
            return is64 ? 0x0400 : 0;
        default:
            return -1;
    }
}

std::string dirOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The loader takes a started program's $ORIGIN from the kernel's name of
// its file, every link resolved; a library's from the path it was found at.
std::string realDirOf(const std::string& path) {
    char resolved[PATH_MAX];
    return dirOf(realpath(path.c_str(), resolved) != nullptr ? resolved : path);
}

std::string baseOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::string::size_type at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// Where a relative name is looked up: the child's working directory.
std::string fromDir(const std::string& dir, const std::string& path) {
    return path.empty() || path[0] == '/' || dir.empty() ? path : dir + "/" + path;
}

struct Object {
    std::string path;
    ElfFile elf;
};

class Lookup {
public:
    Lookup(const Object& program, const LookupPlaces& places)
        : program(program), places(places), kind(program.elf) {
        dirs = places.defaultDirs.empty() ? defaultLibraryDirs(kind) : places.defaultDirs;
        readCache();
    }

    // The file that satisfies `name` for `object`; empty for none. Each
    // directory of a search list it looks in is added to `searched`.
    std::string find(const Object& object, const std::string& name,
                     std::vector<std::string>& searched) const {
        if (name.find('/') != std::string::npos) {
            return usable(fromDir(places.workingDir, name));
        }
        std::vector<std::string> search;
        if (!object.elf.hasRunpath) {
            // RPATH applies when no RUNPATH is set, the program's own to every library.
            add(search, object.elf.rpath, object.path);
            if (&object != &program && !program.elf.hasRunpath) {
                add(search, program.elf.rpath, program.path);
            }
        }
        if (!places.secure) {
            add(search, places.ldLibraryPath, program.path);
        }
        if (object.elf.hasRunpath) {
            add(search, object.elf.runpath, object.path);
        }
        for (const std::string& dir : search) {
            if (std::find(searched.begin(), searched.end(), dir) == searched.end()) {
                searched.push_back(dir);
            }
            const std::string found = usable(dir + "/" + name);
            if (!found.empty()) {
                return found;
            }
        }
        for (const CacheEntry& entry : cache) {
            if (entry.name == name) {
                const std::string found = usable(entry.path);
                if (!found.empty()) {
                    return found;
                }
            }
        }
        for (const std::string& dir : dirs) {
            const std::string found = usable(dir + "/" + name);
            if (!found.empty()) {
                return found;
            }
        }
        return std::string();
    }

    // `path` if it is a shared object of the program's kind that its user
    // can open; the loader goes on searching past one it cannot.
    std::string usable(const std::string& path) const {
        const ElfFile elf = readElfFile(path);
        return sameKind(elf) && (!places.readable || places.readable(path)) ? path : std::string();
    }

    bool sameKind(const ElfFile& elf) const {
        return elf.isElf && !elf.damaged && elf.elfClass == kind.elfClass &&
               elf.machine == kind.machine && elf.byteOrder == kind.byteOrder;
    }

private:
    struct CacheEntry {
        std::string name, path;
    };

    // A search list: directories separated by ":" or ";", with $ORIGIN the
    // directory of `object`, and $LIB and $PLATFORM for the program's kind.
    void add(std::vector<std::string>& search, const std::string& list,
             const std::string& object) const {
        std::string::size_type start = 0;
        while (!list.empty() && start <= list.size()) {
            const std::string::size_type end = list.find_first_of(":;", start);
            std::string dir = list.substr(start, end == std::string::npos ? end : end - start);
            const bool origin = dir.find("$ORIGIN") != std::string::npos ||
                                dir.find("${ORIGIN}") != std::string::npos;
            for (const char* origin : {"${ORIGIN}", "$ORIGIN"}) {
                replaceAll(dir, origin, object == program.path ? realDirOf(object) : dirOf(object));
            }
            const std::string arch = multiarch(kind);
            for (const char* lib : {"${LIB}", "$LIB"}) {
                replaceAll(dir, lib,
                           !arch.empty()         ? "lib/" + arch
                           : kind.elfClass == 64 ? "lib64"
                                                 : "lib");
            }
            for (const char* platform : {"${PLATFORM}", "$PLATFORM"}) {
                replaceAll(
                    dir, platform,
                    arch.empty() ? machineName(kind.machine) : arch.substr(0, arch.find('-')));
            }
            // An empty entry is the working directory.
            if (!places.secure || !origin || trusted(dir)) {
                search.push_back(fromDir(places.workingDir, dir.empty() ? "." : dir));
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }

    // The directories the loader trusts in secure mode: its default ones.
    bool trusted(const std::string& dir) const {
        return std::find(dirs.begin(), dirs.end(), dir) != dirs.end();
    }

    // The entries of the loader's cache for this kind of program. Both the
    // cache alone and the old one followed by it are read; string offsets
    // count from the start of the new one.
    void readCache() {
        std::ifstream in(places.cache, std::ios::binary | std::ios::ate);
        const std::streamsize size = std::min<std::streamsize>(in.tellg(), CACHE_MAX);
        if (!in || size <= 0) {
            return;
        }
        in.seekg(0);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        in.read(&bytes[0], size);
        bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
        std::size_t start = 0;
        if (bytes.compare(0, OLD_CACHE_MAGIC.size(), OLD_CACHE_MAGIC) == 0 && bytes.size() >= 16) {
            start = (16 + std::size_t{12} * u32(bytes, 12) + 7) / 8 * 8;
        }
        if (start > bytes.size() || bytes.compare(start, CACHE_MAGIC.size(), CACHE_MAGIC) != 0 ||
            bytes.size() - start < 48) {
            return;
        }
        const std::string data = bytes.substr(start);
        const std::size_t count = u32(data, 20);
        const long arch = cacheArchFlags(kind);
        for (std::size_t i = 0; i < count && 48 + (i + 1) * 24 <= data.size(); ++i) {
            const std::size_t at = 48 + i * 24;
            const std::uint32_t flags = u32(data, at);
            const std::uint32_t key = u32(data, at + 4);
            const std::uint32_t value = u32(data, at + 8);
            if (key >= data.size() || value >= data.size() || (flags & 0xff) != FLAG_ELF_LIBC6 ||
                (arch >= 0 && (flags & 0xff00) != static_cast<std::uint32_t>(arch))) {
                continue;
            }
            cache.push_back(CacheEntry{data.c_str() + key, data.c_str() + value});
        }
    }

    // ldconfig writes the cache in the machine's own byte order.
    static std::uint32_t u32(const std::string& bytes, std::size_t at) {
        std::uint32_t value = 0;
        bytes.copy(reinterpret_cast<char*>(&value), sizeof value, at);
        return value;
    }

    const Object& program;
    const LookupPlaces& places;
    const ElfFile& kind;
    std::vector<std::string> dirs;
    std::vector<CacheEntry> cache;
};

}  // namespace

std::vector<std::string> defaultLibraryDirs(const ElfFile& elf) {
    // Debian's loaders search their multiarch directories, then /lib and
    // /usr/lib (ld.so --help lists them); lib64, lib32 and libx32 only as
    // /etc/ld.so.conf puts them in the cache.
    std::vector<std::string> dirs;
    const std::string arch = multiarch(elf);
    if (!arch.empty()) {
        dirs.push_back("/lib/" + arch);
        dirs.push_back("/usr/lib/" + arch);
    }
    dirs.push_back("/lib");
    dirs.push_back("/usr/lib");
    return dirs;
}

LinkCheck checkLinking(const std::string& program, const ElfFile& elf, const LookupPlaces& places) {
    LinkCheck result;
    std::set<std::string> seen;
    if (elf.hasInterpreter) {
        result.loader = elf.interpreter;
        const std::string path = fromDir(places.workingDir, elf.interpreter);
        const ElfFile loader = readElfFile(path);
        if (!loader.opened) {
            result.loaderProblem = access(path.c_str(), F_OK) == 0 ? LoaderProblem::Unreadable
                                                                   : LoaderProblem::Missing;
        } else if (!loader.isElf || loader.damaged) {
            result.loaderProblem = LoaderProblem::NotUsableElf;
        } else if (loader.elfClass != elf.elfClass || loader.machine != elf.machine) {
            result.loaderProblem = LoaderProblem::OtherKind;
            result.loaderKind = programKind(loader);
        } else if (access(path.c_str(), X_OK) != 0) {
            result.loaderProblem = LoaderProblem::NotExecutable;
        }
        // The loader is loaded already: its own name needs no search.
        seen.insert(baseOf(elf.interpreter));
    }
    if (result.loaderProblem != LoaderProblem::None) {
        return result;
    }

    std::vector<Object> objects{Object{program, elf}};
    objects.reserve(OBJECTS_MAX);
    const Lookup lookup(objects.front(), places);
    for (std::size_t i = 0; i < objects.size() && i < OBJECTS_MAX; ++i) {
        for (const std::string& name : objects[i].elf.needed) {
            if (!seen.insert(name).second) {
                continue;
            }
            const std::string found = lookup.find(objects[i], name, result.searchedDirs);
            if (found.empty()) {
                result.missing.push_back(MissingLibrary{name, objects[i].path});
                continue;
            }
            result.libraries.push_back(found);
            if (objects.size() < OBJECTS_MAX) {
                objects.push_back(Object{found, readElfFile(found)});
            }
        }
    }
    return result;
}
