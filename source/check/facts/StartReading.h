// The starts a start file holds of the launcher copies a run checks: each
// file read once, its command lines followed to the copy they start.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "facts/ProgramSearch.h"
#include "facts/StartFacts.h"
#include "facts/StartSearch.h"

// The launcher copies of the applications checked, to tell which files start
// them: by path, through symbolic links, by the same inode or the same bytes.
class CopyIndex {
public:
    // `open`: any launcher copy counts, in whatever directory (--start
    // without application directories).
    explicit CopyIndex(bool open = false) : open(open) {}
    void add(const std::string& appDir, const std::vector<std::string>& copyNames);

    struct Copy {
        std::string appDir;  // physical
        std::string path;    // appDir/NAME
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        bool link = false;  // the copy is a symbolic link, such as to the installed launcher
    };
    // The copy `path` is (the same file, or through links), or nullptr.
    const Copy* find(const std::string& path) const;
    // The copy whose bytes `path` holds, for a copy along PATH, or nullptr.
    // Launcher copies are alike, so only the application it is named after
    // counts: any other copy, such as the installed dashvane-launcher
    // itself, starts no application in particular.
    const Copy* sameBytes(const std::string& path) const;
    // The application directories found by an open index.
    std::vector<std::string> appDirs() const;

private:
    const Copy* lookUp(const std::string& path) const;
    // An open index: the application along a link chain, or nullptr.
    const Copy* findOpen(const std::vector<std::string>& chain) const;
    // The copy NAME of DIR, added to the index with DIR's other copies.
    const Copy* added(const std::string& dir, const std::string& name) const;

    bool open;
    mutable std::vector<Copy> copies;
    // Directories an open index has looked into: their copies, and whether
    // they hold ini files.
    struct Looked {
        std::vector<std::string> names;
        bool holdsIni = false;
    };
    mutable std::map<std::string, Looked> looked;
    // What find() answered, by path: an index into `copies`, its size for none.
    mutable std::unordered_map<std::string, std::size_t> found;
};

// The starts in `file` of the copies in `index`. `fallbackHome` stands for the
// session's directory when the file belongs to no known user. `why` gets
// the reason a file starts nothing, where the file itself says it.
std::vector<StartFacts> startsIn(const StartFile& file, const StartSearch& search,
                                 const CopyIndex& index, ProgramSearch& programs,
                                 const std::string& fallbackHome, std::string* why = nullptr);
