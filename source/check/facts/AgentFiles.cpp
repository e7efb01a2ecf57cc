#include "facts/AgentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <vector>

#include "facts/LibraryLookup.h"
#include "util/Inflate.h"
#include "util/Text.h"

namespace {

constexpr std::uint64_t END_RECORD = 22;             // the end of central directory record
constexpr std::uint64_t COMMENT_MAX = 65535;         // the zip comment after it
constexpr std::uint64_t MANIFEST_MAX = 4 * 1048576;  // more is not read here
constexpr std::uint64_t DIRECTORY_MAX = 64 * 1048576;
const char MANIFEST[] = "META-INF/MANIFEST.MF";

class Bytes {
public:
    explicit Bytes(const std::string& path)
        : fd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        struct stat status {};
        if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
            size = static_cast<std::uint64_t>(status.st_size);
            opened = true;
        }
    }
    ~Bytes() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;

    bool read(std::uint64_t at, std::uint64_t count, std::string& out) const {
        if (!opened || at > size || count > size - at) {
            return false;
        }
        out.assign(count, '\0');
        std::uint64_t done = 0;
        while (done < count) {
            const ssize_t got = pread(fd, &out[done], count - done, static_cast<off_t>(at + done));
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    bool opened = false;
    std::uint64_t size = 0;

private:
    int fd;
};

std::uint64_t number(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Entry {
    bool found = false;
    std::uint64_t method = 0;
    std::uint64_t size = 0;   // stored, compressed
    std::uint64_t local = 0;  // its local header
};

enum class Zip { Read, NotZip, Unread };

// The manifest's entry in the central directory, and the names of all its
// entries. NotZip when the file has no end record; Unread when its
// directory is one this reading does not follow (zip64, data in front, too large).
Zip findManifest(const Bytes& zip, Entry& manifest, std::set<std::string>& names) {
    const std::uint64_t tail = std::min(zip.size, END_RECORD + COMMENT_MAX);
    std::string end;
    if (zip.size < END_RECORD || !zip.read(zip.size - tail, tail, end)) {
        return Zip::NotZip;
    }
    std::size_t at = end.rfind(std::string("PK\x05\x06", 4));
    if (at == std::string::npos || end.size() - at < END_RECORD) {
        return Zip::NotZip;
    }
    const std::uint64_t count = number(end, at + 10, 2);
    const std::uint64_t length = number(end, at + 12, 4);
    std::string directory;
    if (length > DIRECTORY_MAX || !zip.read(number(end, at + 16, 4), length, directory)) {
        return Zip::Unread;
    }
    at = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (directory.size() - at < 46 || directory.compare(at, 4, "PK\x01\x02", 4) != 0) {
            return Zip::Unread;
        }
        const std::uint64_t nameLength = number(directory, at + 28, 2);
        const std::uint64_t skip =
            46 + nameLength + number(directory, at + 30, 2) + number(directory, at + 32, 2);
        if (directory.size() - at < skip) {
            return Zip::Unread;
        }
        names.insert(directory.substr(at + 46, nameLength));
        if (sameIgnoringCase(directory.substr(at + 46, nameLength), MANIFEST)) {
            manifest = Entry{true, number(directory, at + 10, 2), number(directory, at + 20, 4),
                             number(directory, at + 42, 4)};
        }
        at += skip;
    }
    return Zip::Read;
}

// The lines of the manifest's main section, up to its first empty line,
// each continuation line (one starting with a space) joined to the one before.
std::vector<std::string> mainSection(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(at, end - at);
        if (line.empty()) {
            break;
        }
        if (line[0] == ' ' && !lines.empty()) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(line);
        }
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// Whether the main section has the attribute `name` (names are compared
// ignoring case), and its value, the blanks around it left out.
bool mainAttribute(const std::vector<std::string>& section, const std::string& name,
                   std::string& value) {
    for (const std::string& line : section) {
        if (line.size() > name.size() && line[name.size()] == ':' &&
            sameIgnoringCase(line.substr(0, name.size()), name)) {
            const std::size_t first = line.find_first_not_of(' ', name.size() + 1);
            const std::size_t last = line.find_last_not_of(' ');
            value =
                first == std::string::npos ? std::string() : line.substr(first, last + 1 - first);
            return true;
        }
    }
    return false;
}

// Whether the class `name` may come from the VM's own modules rather than
// the agent's jar.
bool platformClass(const std::string& name) {
    static const char* const PACKAGES[] = {"java.",    "javax.",    "jdk.",
                                           "sun.",     "com.sun.",  "org.w3c.",
                                           "org.xml.", "org.ietf.", "netscape."};
    return std::any_of(std::begin(PACKAGES), std::end(PACKAGES),
                       [&name](const char* package) { return Text::startsWith(name, package); });
}

// Whether the manifest's Class-Path and Boot-Class-Path may add a place the
// class is in: any entry that exists beside the jar, or one this reading
// does not resolve (a URL with a scheme or escapes).
bool manifestClassPath(const std::vector<std::string>& section, const std::string& jar) {
    const std::size_t slash = jar.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : jar.substr(0, slash + 1);
    for (const char* attribute : {"Class-Path", "Boot-Class-Path"}) {
        std::string value;
        mainAttribute(section, attribute, value);
        std::size_t at = 0;
        while ((at = value.find_first_not_of(' ', at)) != std::string::npos) {
            const std::size_t end = std::min(value.find(' ', at), value.size());
            const std::string entry = value.substr(at, end - at);
            struct stat status {};
            if (entry.find_first_of(":%") != std::string::npos ||
                stat((entry[0] == '/' ? entry : dir + entry).c_str(), &status) == 0) {
                return true;
            }
            at = end;
        }
    }
    return false;
}

// The agent's class must be in the jar when nothing else can hold it: no
// class path of the manifest's that exists, nor one of the VM's
// (`classPathElsewhere`), no versioned copies of a multi-release jar, no
// class of the VM's own.
AgentCheck checkPremainClass(const std::vector<std::string>& section,
                             const std::set<std::string>& names, const std::string& jar,
                             const std::string& named, bool classPathElsewhere) {
    std::string premain;
    std::string other;
    mainAttribute(section, "Premain-Class", premain);
    if (classPathElsewhere || premain.empty() || platformClass(premain) ||
        manifestClassPath(section, jar) || mainAttribute(section, "Multi-Release", other)) {
        return AgentCheck{};
    }
    std::string entry = premain;
    std::replace(entry.begin(), entry.end(), '.', '/');
    if (names.count(entry + ".class") != 0) {
        return AgentCheck{};
    }
    return AgentCheck{AgentVerdict::Refused,
                      "java.lang.ClassNotFoundException: " + premain + ", the Premain-Class of " +
                          named + ", which does not hold it: processing of -javaagent failed"};
}

// The names of the system's C and C++ runtime libraries, which hold no
// agent's entry point.
bool runtimeLibrary(const std::string& name) {
    static const char* const NAMES[] = {"libc.so.6",       "libm.so.6",  "libdl.so.2",
                                        "libpthread.so.0", "librt.so.1", "libgcc_s.so.1",
                                        "libstdc++.so.6",  "libc.so",    "ld-linux"};
    return std::any_of(std::begin(NAMES), std::end(NAMES),
                       [&name](const char* runtime) { return Text::startsWith(name, runtime); });
}

// The VM looks the entry point up with dlsym, which searches the library's
// dependencies too: one needing more than the system's runtime is not judged.
AgentCheck checkEntryPoint(const std::string& path, const std::string& named, AgentEntry entry) {
    const ElfFile elf = readElfFile(path);
    if (!elf.isElf || elf.damaged || elf.type != 3 ||  // ET_DYN
        !std::all_of(elf.needed.begin(), elf.needed.end(), runtimeLibrary)) {
        return AgentCheck{};
    }
    const bool xrun = entry == AgentEntry::JvmOrAgentOnLoad;
    std::vector<const char*> symbols = {"Agent_OnLoad"};
    if (xrun) {
        symbols.push_back("JVM_OnLoad");
    }
    bool unread = false;
    for (const char* symbol : symbols) {
        const SymbolFound found = findDynamicSymbol(path, symbol);
        if (found == SymbolFound::Defined) {
            return AgentCheck{};
        }
        unread = unread || found == SymbolFound::Unread;
    }
    if (unread) {
        return AgentCheck{AgentVerdict::Unread, "its dynamic symbols could not be read"};
    }
    return AgentCheck{
        AgentVerdict::Refused,
        xrun ? "Could not find JVM_OnLoad or Agent_OnLoad function in the library: " + named
             : "Could not find Agent_OnLoad function in the agent library: " + named};
}

AgentCheck refused(const std::string& words) {
    return AgentCheck{AgentVerdict::Refused, words};
}

}  // namespace

AgentCheck checkAgentJar(const std::string& path, const std::string& named,
                         bool classPathElsewhere) {
    const Bytes zip(path);
    if (!zip.opened) {
        return AgentCheck{};  // judged as a file the user cannot read
    }
    Entry manifest;
    std::set<std::string> names;
    const Zip read = findManifest(zip, manifest, names);
    if (read == Zip::Unread) {
        return AgentCheck{AgentVerdict::Unread, "its zip directory could not be read"};
    }
    if (read == Zip::NotZip || !manifest.found) {
        return refused("Error opening zip file or JAR manifest missing : " + named);
    }
    // Stored (0) or deflated (8), as a jar tool writes it.
    std::string local;
    std::string text;
    if (manifest.size > MANIFEST_MAX || (manifest.method != 0 && manifest.method != 8) ||
        !zip.read(manifest.local, 30, local) || local.compare(0, 4, "PK\x03\x04", 4) != 0 ||
        !zip.read(manifest.local + 30 + number(local, 26, 2) + number(local, 28, 2), manifest.size,
                  text) ||
        (manifest.method == 8 && !inflateRaw(std::string(text), MANIFEST_MAX, text))) {
        return AgentCheck{AgentVerdict::Unread, "its manifest could not be read"};
    }
    const std::vector<std::string> section = mainSection(text);
    std::string premain;
    if (!mainAttribute(section, "Premain-Class", premain)) {
        return refused("Failed to find Premain-Class manifest attribute in " + named);
    }
    return checkPremainClass(section, names, path, named, classPathElsewhere);
}

AgentCheck checkAgentPath(const std::string& path, const std::string& named, const ElfFile& vm) {
    const ElfFile elf = readElfFile(path);
    if (!elf.opened) {
        return AgentCheck{};  // judged as a file the user cannot read
    }
    const std::string start =
        "Could not find agent library " + named + " in absolute path, with error: " + named + ": ";
    if (!elf.isElf) {
        return refused(start + "invalid ELF header");
    }
    if (vm.isElf && elf.elfClass != vm.elfClass) {
        return refused(start + "wrong ELF class: ELFCLASS" + std::to_string(elf.elfClass));
    }
    if (vm.isElf && elf.machine != vm.machine) {
        return refused(start + "a library for " + machineName(elf.machine) + ", not for the " +
                       machineName(vm.machine) + " VM");
    }
    if (elf.type != 3) {  // ET_DYN
        return refused(start + "cannot dynamically load executable");
    }
    return checkEntryPoint(path, named, AgentEntry::AgentOnLoad);
}

AgentCheck findAgentLibrary(const std::string& name, const std::string& vmLibDir,
                            const std::string& ldLibraryPath, const ElfFile& vm, std::string& found,
                            AgentEntry entry) {
    const std::string file = "lib" + name + ".so";
    found = vmLibDir + "/" + file;
    if (access(found.c_str(), F_OK) == 0) {
        return checkEntryPoint(found, name, entry);
    }
    // Then the VM asks the system's loader for the bare name.
    ElfFile asked = vm;
    asked.hasInterpreter = false;
    asked.hasRpath = false;
    asked.hasRunpath = false;
    asked.needed = {file};
    LookupPlaces places;
    places.ldLibraryPath = ldLibraryPath;
    const LinkCheck link = checkLinking(vmLibDir, asked, places);
    found = link.libraries.empty() ? std::string() : link.libraries.front();
    if (!link.missing.empty()) {
        return refused("Could not find agent library " + name +
                       " on the library path, with error: " + file +
                       ": cannot open shared object file: No such file or directory");
    }
    return found.empty() ? AgentCheck{} : checkEntryPoint(found, name, entry);
}
