#include "facts/StartSearch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <set>

#include "facts/Crontab.h"
#include "util/ByteText.h"
#include "util/Directory.h"
#include "util/Passwd.h"

namespace {

// Start files are small; anything larger is not read whole.
constexpr std::size_t MOST_READ = 1024 * 1024;

// A login's PATH on Debian when /etc/login.defs sets none.
const char DEFAULT_PATH[] = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games";
const char DEFAULT_SUPATH[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// The first-level system start directories, with what their files are.
struct Place {
    const char* dir;
    StartKind kind;
    bool userUnit;
};
const Place SYSTEM_PLACES[] = {
    {"/usr/share/applications", StartKind::DesktopEntry, false},
    {"/usr/local/share/applications", StartKind::DesktopEntry, false},
    {"/etc/xdg/autostart", StartKind::DesktopEntry, false},
    {"/etc/systemd/system", StartKind::SystemdUnit, false},
    {"/lib/systemd/system", StartKind::SystemdUnit, false},
    {"/usr/lib/systemd/system", StartKind::SystemdUnit, false},
    {"/etc/systemd/user", StartKind::SystemdUnit, true},
    {"/usr/lib/systemd/user", StartKind::SystemdUnit, true},
};
const Place HOME_PLACES[] = {
    {"/.local/share/applications", StartKind::DesktopEntry, false},
    {"/.config/autostart", StartKind::DesktopEntry, false},
    {"/.config/systemd/user", StartKind::SystemdUnit, true},
};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// In order, so that starts are found in the same order each time.
std::vector<std::string> names(const std::string& dir) {
    std::vector<std::string> found = entriesOf(dir);
    std::sort(found.begin(), found.end());
    return found;
}

std::string realOf(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    std::string real = resolved;
    std::free(resolved);
    return real;
}

bool isFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// A regular file that starts with #!.
bool isScript(const std::string& path) {
    char head[2] = {0, 0};
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    const bool script = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                        read(fd, head, sizeof head) == 2 && head[0] == '#' && head[1] == '!';
    close(fd);
    return script;
}

// ENV_PATH or ENV_SUPATH of /etc/login.defs, as "PATH=..." or the bare list.
std::string loginDefsPath(const std::string& key, const char* fallback) {
    std::ifstream in("/etc/login.defs");
    std::string line;
    std::string value = fallback;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0 || line.size() == key.size() ||
            (line[key.size()] != ' ' && line[key.size()] != '\t')) {
            continue;
        }
        std::string rest = line.substr(line.find_first_not_of(" \t", key.size()));
        rest = rest.substr(0, rest.find_first_of(" \t"));
        value = rest.compare(0, 5, "PATH=") == 0 ? rest.substr(5) : rest;
    }
    return value;
}

void addDirs(std::vector<std::string>& dirs, const std::string& list) {
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        const std::string dir = list.substr(start, colon - start);
        if (!dir.empty() && std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) {
            dirs.push_back(dir);
        }
        start = colon + 1;
    }
}

// Of `search.homes`, the one `path` (real) lies in.
const StartSearch::Home* homeHolding(const StartSearch& search, const std::string& path) {
    for (const StartSearch::Home& home : search.homes) {
        const std::string dir = search.root + home.dir;
        if (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
            path[dir.size()] == '/') {
            return &home;
        }
    }
    return nullptr;
}

// The password database read as a static program can: the file itself, not
// the name-service modules.
struct Account {
    std::string name;
    uid_t uid;
    std::string home;
};

std::vector<Account> accounts() {
    std::vector<Account> found;
    for (const Passwd::Entry& entry : Passwd::read()) {
        found.push_back(Account{entry.name, entry.uid, entry.home});
    }
    return found;
}

}  // namespace

std::string homeOf(const std::string& user) {
    for (const Account& account : accounts()) {
        if (account.name == user) {
            return account.home;
        }
    }
    return std::string();
}

namespace {

// The whole of a start file, which is small: false with `problem` for one
// that cannot be opened or read, or is no regular file. A FIFO is not
// waited on.
bool readStartFile(const std::string& path, std::string& text, struct stat& status,
                   std::string& problem) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &status) != 0) {
        problem = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        problem = S_ISDIR(status.st_mode) ? "it is a directory" : "it is no regular file";
        close(fd);
        return false;
    }
    char buffer[8192];
    ssize_t got = 0;
    while (text.size() < MOST_READ && (got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    const int error = errno;
    close(fd);
    if (got < 0) {
        problem = std::strerror(error);
        return false;
    }
    return true;
}

// Whether a line of `text` is, blanks aside, one of `headers`.
bool hasLine(const std::string& text, std::initializer_list<const char*> headers) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        line.erase(0, std::min(line.find_first_not_of(" \t"), line.size()));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        for (const char* header : headers) {
            if (line == header) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

// The kind of a start file by what it holds, its name and its place.
bool kindOfContent(const std::string& path, const std::string& text, StartKind& kind) {
    const std::string real = realOf(path);
    const std::string parent = real.substr(0, std::min(real.rfind('/'), real.size()));
    std::vector<std::string> users;
    if (text.compare(0, 4,
                     "\x7f"
                     "ELF") == 0) {
        kind = StartKind::PathLink;
    } else if (text.compare(0, 2, "#!") == 0) {
        kind = StartKind::ShellWrapper;
    } else if (endsWith(path, ".desktop") || hasLine(text, {"[Desktop Entry]"})) {
        kind = StartKind::DesktopEntry;
    } else if (endsWith(path, ".service") || hasLine(text, {"[Service]", "[Unit]", "[Install]"})) {
        kind = StartKind::SystemdUnit;
    } else if (endsWith(parent, "/crontabs") || endsWith(parent, "/cron.d") ||
               endsWith(real, "/crontab") || looksLikeCrontab(text, users)) {
        kind = StartKind::Cron;
    } else {
        return false;
    }
    return true;
}

// Whose a crontab is: a user's own under crontabs/, the system's in cron.d
// or named crontab; elsewhere the system's when every line's sixth field
// names a user, else its owner's.
void cronOwner(const std::string& real, const std::string& text, uid_t owner, StartFile& file) {
    const std::size_t slash = real.rfind('/');
    const std::string parent = real.substr(0, std::min(slash, real.size()));
    if (endsWith(parent, "/crontabs")) {
        file.user = real.substr(slash + 1);
        file.home = homeOf(file.user);
        return;
    }
    std::vector<std::string> users;
    bool named = endsWith(parent, "/cron.d") || endsWith(real, "/crontab");
    if (!named && looksLikeCrontab(text, users)) {
        named = true;
        for (const std::string& user : users) {
            named = named && !homeOf(user).empty();
        }
    }
    file.cronUser = named;
    if (!named) {
        for (const Passwd::Entry& entry : Passwd::read()) {
            if (entry.uid == owner) {
                file.user = entry.name;
                file.home = entry.home;
            }
        }
    }
}

// The start files found so far, each file and directory taken once.
struct FoundStarts {
    std::vector<StartFile> files;
    std::set<std::string> seenDirs;
    std::set<std::string> seenFiles;
};

void addStart(FoundStarts& found, const StartFile& file) {
    if (found.seenFiles.insert(realOf(file.path)).second) {
        found.files.push_back(file);
    }
}

// The desktop entries or units in `dir`.
void addPlace(FoundStarts& found, const std::string& dir, StartKind kind, bool userUnit,
              const StartSearch::Home* home) {
    // /lib is often /usr/lib: a directory read once.
    if (!found.seenDirs.insert(realOf(dir)).second) {
        return;
    }
    const char* suffix = kind == StartKind::DesktopEntry ? ".desktop" : ".service";
    for (const std::string& name : names(dir)) {
        if (!endsWith(name, suffix) || !isFile(dir + "/" + name)) {
            continue;
        }
        StartFile file;
        file.kind = kind;
        file.path = dir + "/" + name;
        file.userUnit = userUnit;
        if (home != nullptr) {
            file.home = home->dir;
            file.user = home->user;
        }
        addStart(found, file);
    }
}

void placeFiles(const StartSearch& search, FoundStarts& found) {
    for (const Place& system : SYSTEM_PLACES) {
        addPlace(found, search.root + system.dir, system.kind, system.userUnit, nullptr);
    }
    // The session's own data directories, where they differ from the defaults.
    std::vector<std::string> dataDirs;
    const char* xdg = std::getenv("XDG_DATA_DIRS");
    addDirs(dataDirs, xdg != nullptr ? xdg : "");
    for (const std::string& dir : dataDirs) {
        addPlace(found, search.root + dir + "/applications", StartKind::DesktopEntry, false,
                 nullptr);
    }
    for (const StartSearch::Home& home : search.homes) {
        for (const Place& own : HOME_PLACES) {
            addPlace(found, search.root + home.dir + own.dir, own.kind, own.userUnit, &home);
        }
    }
}

void cronFiles(const StartSearch& search, FoundStarts& found) {
    StartFile crontab;
    crontab.kind = StartKind::Cron;
    crontab.cronUser = true;
    crontab.path = search.root + "/etc/crontab";
    if (isFile(crontab.path)) {
        addStart(found, crontab);
    }
    for (const std::string& name : names(search.root + "/etc/cron.d")) {
        crontab.path = search.root + "/etc/cron.d/" + name;
        if (isCrontabName(name) && isFile(crontab.path)) {
            addStart(found, crontab);
        }
    }
    crontab.cronUser = false;
    for (const std::string& name : names(search.root + "/var/spool/cron/crontabs")) {
        crontab.path = search.root + "/var/spool/cron/crontabs/" + name;
        crontab.user = name;
        crontab.home = homeOf(name);
        if (isFile(crontab.path)) {
            addStart(found, crontab);
        }
    }
}

void pathFiles(const StartSearch& search, FoundStarts& found) {
    for (const std::string& dir : search.pathDirs) {
        const std::string prefixed = search.root + dir;
        if (!found.seenDirs.insert(realOf(prefixed)).second) {
            continue;
        }
        for (const std::string& name : names(prefixed)) {
            StartFile link;
            link.path = prefixed + "/" + name;
            // A script along PATH is a wrapper; anything else may be a copy.
            link.kind = isScript(link.path) ? StartKind::ShellWrapper : StartKind::PathLink;
            // Links are many and their targets shared: each is a start of its own.
            found.files.push_back(link);
        }
    }
}

}  // namespace

StartSearch startSearch(const std::string& root, const std::string& onlyUser) {
    StartSearch search;
    search.root = root == "/" ? std::string() : root;
    while (!search.root.empty() && search.root.back() == '/') {
        search.root.pop_back();
    }
    for (const Account& account : accounts()) {
        const bool wanted =
            onlyUser.empty() ? account.uid == 0 || account.uid >= 1000
                             : onlyUser == account.name || onlyUser == std::to_string(account.uid);
        const std::string& dir = account.home;
        if (wanted && !dir.empty() && dir != "/" && dir != "/nonexistent") {
            search.homes.push_back(StartSearch::Home{account.name, dir});
        }
    }
    addDirs(search.pathDirs, loginDefsPath("ENV_PATH", DEFAULT_PATH));
    addDirs(search.pathDirs, loginDefsPath("ENV_SUPATH", DEFAULT_SUPATH));
    for (const StartSearch::Home& home : search.homes) {
        addDirs(search.pathDirs, home.dir + "/.local/bin:" + home.dir + "/bin");
    }
    return search;
}

std::vector<StartFile> findStartFiles(const StartSearch& search) {
    FoundStarts found;
    placeFiles(search, found);
    cronFiles(search, found);
    pathFiles(search, found);
    return found.files;
}

bool startFileOf(const std::string& path, const StartSearch& search, const StartKind* forced,
                 StartFile& file, std::string& problem) {
    file = StartFile();
    file.path = path;
    std::string text;
    struct stat status {};
    const std::string shown = "\"" + ByteText::visible(path) + "\"";
    if (!readStartFile(path, text, status, problem)) {
        problem = "cannot read the start file " + shown + ": " + problem;
        return false;
    }
    const std::string real = realOf(path);
    if (const StartSearch::Home* home = homeHolding(search, real)) {
        file.home = home->dir;
        file.user = home->user;
    }
    if (forced != nullptr) {
        file.kind = *forced;
    } else if (!kindOfContent(path, text, file.kind)) {
        problem = "cannot tell what kind of start file " + shown +
                  " is: it is no desktop entry, systemd unit, crontab, shell script, or link or "
                  "copy of a launcher copy; name its kind with --start-kind";
        return false;
    }
    if (file.kind == StartKind::SystemdUnit) {
        file.userUnit = real.find("/systemd/user/") != std::string::npos;
    } else if (file.kind == StartKind::Cron) {
        cronOwner(real, text, status.st_uid, file);
    }
    return true;
}

bool isCrontabName(const std::string& name) {
    // cron skips names with a dot or other than letters, digits, _ and -.
    return !name.empty() && name.find_first_not_of(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                "abcdefghijklmnopqrstuvwxyz0123456789_-") == std::string::npos;
}
