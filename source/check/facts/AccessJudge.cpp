#include "facts/AccessJudge.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

#include "util/ChildProcess.h"
#include "util/Passwd.h"

namespace {

// Symbolic links the kernel follows in one lookup before it gives ELOOP.
constexpr int MAX_LINKS = 40;

// The exit status of a child that could not become the user.
constexpr int CANNOT_SWITCH = 3;

// Tags of a POSIX ACL as the file system stores it in its extended attribute.
constexpr std::uint16_t ACL_USER = 0x02;
constexpr std::uint16_t ACL_GROUP_OBJ = 0x04;
constexpr std::uint16_t ACL_GROUP = 0x08;
constexpr std::uint16_t ACL_MASK = 0x10;
constexpr std::size_t ACL_HEADER = 4;
constexpr std::size_t ACL_ENTRY = 8;

std::uint32_t littleEndian(const unsigned char* bytes, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

}  // namespace

std::string seenFrom(const std::string& from, std::string path) {
    if (from.empty() || (!path.empty() && path[0] == '/')) {
        return path;
    }
    // "./run.ini" is "run.ini" there: said shorter, the same file.
    while (path.compare(0, 2, "./") == 0) {
        path.erase(0, 2);
    }
    return path.empty() ? from : from + (from.back() == '/' ? "" : "/") + path;
}

int openDirectory(const std::string& path) {
    int dir = -1;
    if (path.size() < PATH_MAX) {
        dir = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 && errno == EACCES) {
            // This process's own working directory it is in without reaching it.
            const int error = errno;
            std::unique_ptr<char, void (*)(void*)> cwd(getcwd(nullptr, 0), std::free);
            errno = error;
            return cwd && path == cwd.get() ? open(".", O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
        }
        return dir;
    }
    dir = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::string::size_type start = 0; dir >= 0 && start < path.size();) {
        const std::string::size_type end = std::min(path.find('/', start), path.size());
        if (end > start) {
            const int next = openat(dir, path.substr(start, end - start).c_str(),
                                    O_PATH | O_DIRECTORY | O_CLOEXEC);
            const int error = errno;
            close(dir);
            dir = next;
            errno = error;
        }
        start = end + 1;
    }
    return dir;
}

std::string reachablePath(const std::string& path, std::size_t room) {
    struct stat status {};
    if (path.empty() || path[0] != '/' ||
        (path.size() + room < PATH_MAX && (lstat(path.c_str(), &status) == 0 || errno != EACCES))) {
        return path;
    }
    // Too long, or below a directory this process cannot search: a
    // directory whose entries the caller names is opened itself, a file
    // through its parent.
    const std::string::size_type slash = room > 0 ? path.size() : path.rfind('/');
    if (slash == 0 || path.size() - slash + room >= PATH_MAX / 2) {
        return path;
    }
    static std::map<std::string, int> opened;
    const std::string dir = path.substr(0, slash);
    auto found = opened.find(dir);
    if (found == opened.end()) {
        const int fd = openDirectory(dir);
        if (fd < 0) {
            return path;
        }
        found = opened.emplace(dir, fd).first;
    }
    return "/proc/self/fd/" + std::to_string(found->second) + path.substr(slash);
}

std::vector<AclEntry> extendedAcl(const std::string& path) {
    const ssize_t size = getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0);
    if (size <= static_cast<ssize_t>(ACL_HEADER)) {
        return {};
    }
    std::vector<unsigned char> raw(static_cast<std::size_t>(size));
    const ssize_t got = getxattr(path.c_str(), "system.posix_acl_access", raw.data(), raw.size());
    std::vector<AclEntry> entries;
    for (std::size_t at = ACL_HEADER; got > 0 && at + ACL_ENTRY <= static_cast<std::size_t>(got);
         at += ACL_ENTRY) {
        entries.push_back(AclEntry{static_cast<std::uint16_t>(littleEndian(&raw[at], 2)),
                                   static_cast<std::uint16_t>(littleEndian(&raw[at + 2], 2)),
                                   littleEndian(&raw[at + 4], 4)});
    }
    return entries.size() > 3 ? entries : std::vector<AclEntry>();
}

namespace {

bool inGroups(gid_t gid, const UserIdentity& user) {
    for (gid_t group : user.groups) {
        if (group == gid) {
            return true;
        }
    }
    return gid == user.gid;
}

}  // namespace

bool permittedBy(const struct stat& status, const std::vector<AclEntry>& acl, int want,
                 const UserIdentity& user) {
    const auto granted = [want](unsigned bits) {
        return (bits & static_cast<unsigned>(want)) == static_cast<unsigned>(want);
    };
    const unsigned mode = status.st_mode;
    if (user.uid == 0) {
        // Root passes every check but one: a file runs only with an execute bit.
        return want != X_OK || S_ISDIR(mode) || (mode & 0111) != 0;
    }
    if (status.st_uid == user.uid) {
        return granted(mode >> 6);
    }
    if (!acl.empty()) {
        unsigned mask = 7;
        for (const AclEntry& entry : acl) {
            mask = entry.tag == ACL_MASK ? entry.perm : mask;
        }
        for (const AclEntry& entry : acl) {
            if (entry.tag == ACL_USER && entry.id == user.uid) {
                return granted(entry.perm & mask);
            }
        }
        // Any group entry that grants suffices; a member of none falls to "other".
        bool member = false;
        for (const AclEntry& entry : acl) {
            if ((entry.tag == ACL_GROUP_OBJ && inGroups(status.st_gid, user)) ||
                (entry.tag == ACL_GROUP && inGroups(entry.id, user))) {
                member = true;
                if (granted(entry.perm & mask)) {
                    return true;
                }
            }
        }
        return !member && granted(mode);
    }
    return granted(inGroups(status.st_gid, user) ? mode >> 3 : mode);
}

namespace {

bool permitted(const std::string& path, const struct stat& status, int want,
               const UserIdentity& user) {
    // The ACL is read only where the owner's bits decide nothing.
    const bool decided = user.uid == 0 || status.st_uid == user.uid;
    return permittedBy(status, decided ? std::vector<AclEntry>() : extendedAcl(path), want, user);
}

// A path as the system calls take it: `path` looked up from the directory
// `dir`, so that the ancestors of `dir` are never searched.
struct At {
    int dir = AT_FDCWD;
    std::string path;  // empty for `dir` itself

    const char* name() const { return path.empty() ? "." : path.c_str(); }
    // One name for calls that take no directory, such as getxattr.
    std::string whole() const {
        return dir == AT_FDCWD ? std::string(name())
                               : "/proc/self/fd/" + std::to_string(dir) + "/" + path;
    }
    At operator/(const std::string& component) const {
        return At{dir, path.empty()  ? component
                       : path == "/" ? "/" + component
                                     : path + "/" + component};
    }
};

// The checks at the end of a path: asked of the kernel as this process,
// or computed for another user.
class Rules {
public:
    explicit Rules(const UserIdentity* computedFor) : user(computedFor) {
        if (user == nullptr) {
            home = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
            // With all ids alike the plain call is exact, and it needs no
            // newer system call than every kernel and emulator has.
            accessFlags = getuid() == geteuid() && getgid() == getegid() ? 0 : AT_EACCESS;
        }
    }
    ~Rules() {
        if (home >= 0) {
            close(home);
        }
    }
    Rules(const Rules&) = delete;
    Rules& operator=(const Rules&) = delete;

    bool computed() const { return user != nullptr; }

    // Each returns 0 or the errno the operation fails with.
    int may(const At& at, const struct stat& status, int want) const {
        if (user != nullptr) {
            return permitted(at.whole(), status, want, *user) ? 0 : EACCES;
        }
        return faccessat(at.dir, at.name(), want, accessFlags) == 0 ? 0 : errno;
    }
    int read(const At& at, const struct stat& status) const {
        if (user != nullptr || !S_ISREG(status.st_mode)) {
            return may(at, status, R_OK);
        }
        // Opened as the launcher opens it; a regular file has no side effects to fear.
        const int fd = openat(at.dir, at.name(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        close(fd);
        return 0;
    }
    int enter(const At& at, const struct stat& status) const {
        if (user != nullptr || home < 0) {
            return may(at, status, X_OK);
        }
        const int fd = openat(at.dir, at.name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        // fchdir asks for the same search permission that chdir does.
        const int entered = fchdir(fd) == 0 ? 0 : errno;
        close(fd);
        return fchdir(home) == 0 ? entered : errno;
    }

private:
    const UserIdentity* user;
    int home = -1;
    int accessFlags = 0;
};

std::string joined(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

AccessVerdict fault(AccessCause cause, const std::string& at, int error) {
    AccessVerdict verdict;
    verdict.cause = cause;
    verdict.at = at;
    verdict.error = error;
    return verdict;
}

AccessVerdict fromErrno(int error, const std::string& at) {
    switch (error) {
        case 0:
            return AccessVerdict();
        case EACCES:
        case EPERM:
            return fault(AccessCause::Denied, at, error);
        case ENOENT:
            return fault(AccessCause::NotFound, at, error);
        case ENOTDIR:
            return fault(AccessCause::NotDirectory, at, error);
        case ELOOP:
            return fault(AccessCause::TooManyLinks, at, error);
        case ENAMETOOLONG:
            return fault(AccessCause::TooLong, at, error);
        default:
            return fault(AccessCause::OtherError, at, error);
    }
}

struct Walked {
    AccessVerdict verdict;  // Granted when the whole path was reached
    std::string resolved;   // the file the path names, every link followed
    At at;                  // the same, as the system calls reach it
    struct stat status {};
};

// One component of a path still to be looked up.
struct Part {
    std::string name;
    bool endsLink;  // the target of the innermost link followed is used up
};

struct Link {
    std::string path;
    std::string target;
};

// Where a walk stands: the directory reached and what is left to look up.
struct WalkState {
    std::vector<Part> pending;  // the next component last
    std::vector<Link> links;    // the links whose targets are being followed
    std::string dir = "/";
    At at{AT_FDCWD, "/"};
    int followed = 0;
};

void pushPath(std::vector<Part>& pending, const std::string& text) {
    std::vector<Part> parts;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        const std::string::size_type end = std::min(text.find('/', start), text.size());
        parts.push_back(Part{text.substr(start, end - start), false});
        start = end + 1;
    }
    pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

bool onlyMarkersLeft(const std::vector<Part>& pending) {
    for (const Part& part : pending) {
        if (!part.endsLink && !part.name.empty()) {
            return false;
        }
    }
    return true;
}

// Why `candidate` cannot be looked up in the directory reached.
AccessVerdict lookupFailure(int error, const WalkState& state, const std::string& candidate,
                            const Rules& rules) {
    if (error == ENOENT && !state.links.empty()) {
        AccessVerdict verdict = fault(AccessCause::DanglingLink, state.links.back().path, error);
        verdict.target = state.links.back().target;
        return verdict;
    }
    if (error == ENOENT) {
        return fault(AccessCause::NotFound, candidate, error);
    }
    if (error == EACCES && !rules.computed()) {
        return fault(AccessCause::NotSearchable, state.dir, error);
    }
    // Computed for another user, EACCES is the check's own lack of rights.
    return fault(error == ENAMETOOLONG ? AccessCause::TooLong : AccessCause::OtherError, candidate,
                 error);
}

// Puts the target of the link `next` in its place; false, with the
// verdict, when it cannot be read or too many links were followed.
bool followLink(const At& next, const std::string& candidate, WalkState& state, Walked& result) {
    std::string target(PATH_MAX, '\0');
    const ssize_t size = readlinkat(next.dir, next.name(), &target[0], target.size());
    if (++state.followed > MAX_LINKS || size < 0) {
        result.verdict = size < 0 ? fault(AccessCause::OtherError, candidate, errno)
                                  : fault(AccessCause::TooManyLinks, candidate, ELOOP);
        return false;
    }
    target.resize(static_cast<std::size_t>(size));
    state.pending.push_back(Part{std::string(), true});
    pushPath(state.pending, target);
    state.links.push_back(Link{candidate, target});
    if (!target.empty() && target[0] == '/') {
        state.dir = "/";
        state.at = At{AT_FDCWD, "/"};
        stat(state.dir.c_str(), &result.status);
    }
    return true;
}

// Looks `name` up in the directory reached and moves on to it; false, with
// the verdict, when the lookup fails.
bool step(const std::string& name, WalkState& state, const Rules& rules, Walked& result) {
    // Every lookup in a directory needs search permission on it.
    const int search = rules.may(state.at, result.status, X_OK);
    if (search != 0) {
        result.verdict =
            fault(search == EACCES ? AccessCause::NotSearchable : AccessCause::OtherError,
                  state.dir, search);
        return false;
    }
    const std::string candidate =
        name == ".." ? state.dir.substr(0, std::max<std::size_t>(state.dir.rfind('/'), 1))
                     : joined(state.dir, name);
    const At next = state.at / name;
    struct stat status {};
    if (fstatat(next.dir, next.name(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        result.verdict = lookupFailure(error, state, candidate, rules);
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        return followLink(next, candidate, state, result);
    }
    if (!S_ISDIR(status.st_mode) && !onlyMarkersLeft(state.pending)) {
        result.verdict = fault(AccessCause::NotDirectory, candidate, ENOTDIR);
        return false;
    }
    state.dir = candidate;
    state.at = next;
    result.status = status;
    return true;
}

// Follows `path` one component at a time, as the kernel looks it up from
// `from` (a descriptor and its name), and names the first component the
// lookup fails at.
Walked walk(const std::string& path, const At& from, const std::string& fromName,
            const Rules& rules) {
    Walked result;
    WalkState state;
    if (path.empty() || path[0] != '/') {
        state.dir = fromName;
        state.at = from;
    }
    pushPath(state.pending, path);
    fstatat(state.at.dir, state.at.name(), &result.status, 0);
    while (!state.pending.empty()) {
        const Part part = state.pending.back();
        state.pending.pop_back();
        if (part.endsLink) {
            state.links.pop_back();
            continue;
        }
        if (part.name.empty() || part.name == ".") {
            continue;
        }
        if (!step(part.name, state, rules, result)) {
            return result;
        }
    }
    result.resolved = state.dir;
    result.at = state.at;
    return result;
}

// The directories relative probes start from, opened before this process
// becomes the user: it is already in them, as the launch is, without
// having to reach them.
class Bases {
public:
    explicit Bases(const std::vector<AccessProbe>& probes) {
        for (const AccessProbe& probe : probes) {
            if (!probe.from.empty() && fds.count(probe.from) == 0) {
                fds[probe.from] = openDirectory(probe.from);
            }
        }
    }
    ~Bases() {
        for (const auto& entry : fds) {
            if (entry.second >= 0) {
                close(entry.second);
            }
        }
    }
    Bases(const Bases&) = delete;
    Bases& operator=(const Bases&) = delete;

    // Where a relative path of `probe` starts, with its name for the report.
    At startOf(const AccessProbe& probe, std::string& name) const {
        if (probe.from.empty()) {
            std::unique_ptr<char, void (*)(void*)> cwd(getcwd(nullptr, 0), std::free);
            name = cwd ? cwd.get() : ".";
            return At{AT_FDCWD, std::string()};
        }
        name = probe.from;
        const auto found = fds.find(probe.from);
        return found != fds.end() && found->second >= 0 ? At{found->second, std::string()}
                                                        : At{AT_FDCWD, probe.from};
    }

private:
    std::map<std::string, int> fds;
};

AccessVerdict judgeOne(const AccessProbe& probe, const Rules& rules, const Bases& bases) {
    // The kernel takes no longer path in one call, whatever it names.
    if (probe.path.size() >= PATH_MAX) {
        return fault(AccessCause::TooLong, seenFrom(probe.from, probe.path), ENAMETOOLONG);
    }
    std::string fromName;
    const At from = bases.startOf(probe, fromName);
    const Walked walked = walk(probe.path, from, fromName, rules);
    if (!walked.verdict.granted()) {
        return walked.verdict;
    }
    const struct stat& status = walked.status;
    const std::string shown = seenFrom(probe.from, probe.path);
    switch (probe.operation) {
        case AccessOperation::Read:
            return fromErrno(rules.read(walked.at, status), shown);
        case AccessOperation::Enter:
            if (!S_ISDIR(status.st_mode)) {
                return fault(AccessCause::NotDirectory, shown, ENOTDIR);
            }
            return fromErrno(rules.enter(walked.at, status), shown);
        case AccessOperation::Create:
            if (!S_ISDIR(status.st_mode)) {
                return fault(AccessCause::NotDirectory, shown, ENOTDIR);
            }
            return fromErrno(rules.may(walked.at, status, W_OK | X_OK), shown);
        case AccessOperation::Execute: {
            if (!S_ISREG(status.st_mode)) {
                return fault(AccessCause::Denied, shown, EACCES);
            }
            struct statvfs mount {};
            if (statvfs(walked.at.whole().c_str(), &mount) == 0 &&
                (mount.f_flag & ST_NOEXEC) != 0) {
                return fault(AccessCause::NoexecMount, shown, EACCES);
            }
            return fromErrno(rules.may(walked.at, status, X_OK), shown);
        }
    }
    return AccessVerdict();
}

std::vector<AccessVerdict> judgeAll(const std::vector<AccessProbe>& probes, const Rules& rules,
                                    const Bases& bases) {
    std::vector<AccessVerdict> verdicts;
    for (const AccessProbe& probe : probes) {
        verdicts.push_back(judgeOne(probe, rules, bases));
    }
    return verdicts;
}

// The verdicts as the child sends them over the pipe.
void putNumber(std::string& out, std::uint64_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putText(std::string& out, const std::string& text) {
    putNumber(out, text.size());
    out += text;
}

std::string encoded(const std::vector<AccessVerdict>& verdicts) {
    std::string out;
    for (const AccessVerdict& verdict : verdicts) {
        putNumber(out, static_cast<std::uint64_t>(verdict.cause));
        putNumber(out, static_cast<std::uint64_t>(verdict.error));
        putText(out, verdict.at);
        putText(out, verdict.target);
    }
    return out;
}

class Decoder {
public:
    explicit Decoder(const std::string& bytes) : in(bytes) {}
    std::uint64_t number() {
        std::uint64_t value = 0;
        need(sizeof value);
        std::memcpy(&value, in.data() + at, sizeof value);
        at += sizeof value;
        return value;
    }
    std::string text() {
        const std::uint64_t size = number();
        need(size);
        const std::string value = in.substr(at, size);
        at += size;
        return value;
    }

private:
    void need(std::uint64_t size) const {
        if (in.size() - at < size) {
            throw std::runtime_error("permission check: short answer from the child");
        }
    }
    const std::string& in;
    std::size_t at = 0;
};

// Forks a child that becomes `user` for good, judges there and sends the
// verdicts back: the kernel itself then weighs groups, ACLs, capabilities
// and security modules.
std::vector<AccessVerdict> judgeSwitched(const std::vector<AccessProbe>& probes,
                                         const UserIdentity& user) {
    // Opened before the switch, as this process can; the child inherits them.
    const Bases bases(probes);
    ChildOptions child;
    // Relative probes start from their bases; "/" is a home the user can return to.
    child.directory = "/";
    child.switchUser = true;
    child.uid = user.uid;
    child.gid = user.gid;
    child.groups = user.groups;
    child.cannotSetUp = CANNOT_SWITCH;
    const ChildOutcome outcome = runFunction(
        [&probes, &bases]() {
            const Rules rules(nullptr);
            return encoded(judgeAll(probes, rules, bases));
        },
        child);
    if (!outcome.ran()) {
        throw std::runtime_error("permission check: " + outcome.failedCall + ": " +
                                 std::strerror(outcome.error));
    }
    if (outcome.exitCode() != 0) {
        throw std::runtime_error(outcome.exitCode() == CANNOT_SWITCH
                                     ? "cannot switch to user " + user.name +
                                           " to judge permissions"
                                     : "the permission check as user " + user.name + " failed");
    }
    const std::string& answer = outcome.output;
    Decoder decoder(answer);
    std::vector<AccessVerdict> verdicts;
    for (std::size_t i = 0; i < probes.size(); ++i) {
        AccessVerdict verdict;
        verdict.cause = static_cast<AccessCause>(decoder.number());
        verdict.error = static_cast<int>(decoder.number());
        verdict.at = decoder.text();
        verdict.target = decoder.text();
        verdicts.push_back(verdict);
    }
    return verdicts;
}

// The first account of the password file that `matches`.
template <typename Matches>
bool findPasswd(Matches matches, Passwd::Entry& found) {
    for (const Passwd::Entry& entry : Passwd::read()) {
        if (matches(entry)) {
            found = entry;
            return true;
        }
    }
    return false;
}

// The groups a login gives `name`: its primary group and each group that lists it.
std::vector<gid_t> groupsOf(const std::string& name, gid_t gid) {
    std::vector<gid_t> groups = {gid};
    FILE* file = std::fopen("/etc/group", "re");
    if (file == nullptr) {
        return groups;
    }
    while (const group* entry = fgetgrent(file)) {
        for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
            if (name == *member && entry->gr_gid != gid) {
                groups.push_back(entry->gr_gid);
                break;
            }
        }
    }
    std::fclose(file);
    return groups;
}

}  // namespace

bool lookUpUser(const std::string& user, UserIdentity& identity) {
    Passwd::Entry entry;
    bool found = !user.empty() &&
                 findPasswd([&user](const Passwd::Entry& e) { return user == e.name; }, entry);
    if (!found && !user.empty() && user.find_first_not_of("0123456789") == std::string::npos &&
        user.size() < 20) {
        const unsigned long long uid = std::stoull(user);
        found = findPasswd([uid](const Passwd::Entry& e) { return e.uid == uid; }, entry);
    }
    if (!found) {
        return false;
    }
    identity.name = entry.name;
    identity.uid = entry.uid;
    identity.gid = entry.gid;
    identity.groups = groupsOf(identity.name, identity.gid);
    return true;
}

std::string userName(uid_t uid) {
    Passwd::Entry entry;
    return findPasswd([uid](const Passwd::Entry& e) { return e.uid == uid; }, entry)
               ? entry.name
               : std::to_string(uid);
}

UserIdentity currentUser() {
    UserIdentity identity;
    identity.uid = geteuid();
    identity.gid = getegid();
    identity.name = userName(identity.uid);
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        identity.groups.resize(static_cast<std::size_t>(count));
        identity.groups.resize(
            static_cast<std::size_t>(std::max(getgroups(count, identity.groups.data()), 0)));
    }
    return identity;
}

AccessJudge::AccessJudge() : who(currentUser()) {}

AccessJudge::AccessJudge(const UserIdentity& user) : who(user), userNamed(true) {
    if (user.uid == geteuid()) {
        how = JudgeMethod::Self;
    } else if (geteuid() == 0) {
        how = JudgeMethod::Switched;
    } else {
        how = JudgeMethod::Computed;
    }
}

AccessJudge::AccessJudge(const UserIdentity& user, JudgeMethod method)
    : who(user), how(method), userNamed(true) {}

std::vector<AccessVerdict> AccessJudge::judge(const std::vector<AccessProbe>& probes) const {
    std::vector<AccessVerdict> verdicts;
    if (probes.empty()) {
        return verdicts;
    }
    if (how == JudgeMethod::Switched) {
        verdicts = judgeSwitched(probes, who);
    } else {
        const Rules rules(how == JudgeMethod::Computed ? &who : nullptr);
        const Bases bases(probes);
        verdicts = judgeAll(probes, rules, bases);
    }
    for (std::size_t i = 0; i < probes.size(); ++i) {
        verdicts[i].path = seenFrom(probes[i].from, probes[i].path);
    }
    return verdicts;
}

AccessVerdict AccessJudge::judge(AccessOperation operation, const std::string& path) const {
    return judge(std::vector<AccessProbe>{AccessProbe{operation, path}}).front();
}
