#include "util/Passwd.h"

#include <sys/stat.h>

#include <fstream>
#include <limits>
#include <map>

#include "util/FileStatus.h"

namespace Passwd {

namespace {

// A decimal id that fits: the largest value is (uid_t) -1, which names no one.
bool readId(const std::string& text, unsigned long long& id) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    id = 0;
    for (const char digit : text) {
        id = id * 10 + static_cast<unsigned long long>(digit - '0');
        if (id >= std::numeric_limits<uid_t>::max()) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool parse(const std::string& line, Entry& entry) {
    const std::string::size_type first = line.find_first_not_of(" \t");
    std::vector<std::string> fields;
    for (std::string::size_type start = first; start != std::string::npos;) {
        const std::string::size_type colon = line.find(':', start);
        fields.push_back(line.substr(start, colon - start));
        start = colon == std::string::npos ? colon : colon + 1;
    }
    // From the fifth field on any may be missing, as the C library reads the file.
    unsigned long long uid = 0;
    unsigned long long gid = 0;
    if (fields.size() < 4 || fields[0].empty() || fields[0][0] == '#' || fields[0][0] == '+' ||
        fields[0][0] == '-' || !readId(fields[2], uid) || !readId(fields[3], gid)) {
        return false;
    }
    entry.name = fields[0];
    entry.uid = static_cast<uid_t>(uid);
    entry.gid = static_cast<gid_t>(gid);
    entry.home = fields.size() > 5 ? fields[5] : std::string();
    entry.shell = fields.size() > 6 ? fields[6] : std::string();
    return true;
}

std::vector<Entry> read(const std::string& path) {
    // A check reads the file for every start file it looks at; it is read
    // again only when it changes.
    struct Kept {
        struct stat status {};
        std::vector<Entry> entries;
    };
    static std::map<std::string, Kept> kept;
    struct stat status {};
    const bool known = stat(path.c_str(), &status) == 0;
    const auto found = kept.find(path);
    if (known && found != kept.end() && sameFile(found->second.status, status)) {
        return found->second.entries;
    }
    std::vector<Entry> entries;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        Entry entry;
        if (parse(line, entry)) {
            entries.push_back(entry);
        }
    }
    if (known) {
        kept[path] = Kept{status, entries};
    } else {
        kept.erase(path);
    }
    return entries;
}

}  // namespace Passwd
