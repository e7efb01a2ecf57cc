// Whether a user can read, enter or execute a path, judged as the kernel
// judges the launcher's own open, chdir and execv when that user runs it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include <string>
#include <vector>

// A user as a login sets them up: ids and every group they belong to.
struct UserIdentity {
    std::string name;  // from the password database; the number when it has none
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // supplementary groups, the primary one among them
};

// The user named by `user`, a login name or a numeric uid, with the groups
// a login gives them; false when /etc/passwd does not know them.
bool lookUpUser(const std::string& user, UserIdentity& identity);

// The login name of `uid`, or the number when it has none.
std::string userName(uid_t uid);

// The user this process runs as, with its own groups.
UserIdentity currentUser();

// One entry of a POSIX access ACL, as the file system stores it.
struct AclEntry {
    std::uint16_t tag;   // ACL_USER_OBJ 0x01, ACL_USER 0x02, ACL_GROUP_OBJ 0x04,
                         // ACL_GROUP 0x08, ACL_MASK 0x10, ACL_OTHER 0x20
    std::uint16_t perm;  // 4 read, 2 write, 1 execute
    std::uint32_t id;    // the user or group of ACL_USER and ACL_GROUP
};

// The entries of `path`'s access ACL; empty when it has only the three that
// the permission bits stand for.
std::vector<AclEntry> extendedAcl(const std::string& path);

// The kernel's discretionary check of `want` (R_OK, W_OK, X_OK, or them
// together) for `user` on a file of `status` with the extended ACL `acl`.
bool permittedBy(const struct stat& status, const std::vector<AclEntry>& acl, int want,
                 const UserIdentity& user);

enum class AccessOperation {
    Read,     // open for reading, as the launcher opens its ini file
    Enter,    // chdir, as the child enters its start directory
    Execute,  // execv, or the kernel starting a script's interpreter
    Create,   // create a file in the directory, as the VM creates its log files
};

// Why an operation fails; `at` in AccessVerdict names the path it fails at.
enum class AccessCause {
    Granted,
    NotFound,       // ENOENT: `at` does not exist
    NotSearchable,  // the directory `at` on the path cannot be searched
    DanglingLink,   // the symbolic link `at` points to `target`, which does not exist
    Denied,         // the file itself refuses the operation (EACCES)
    NotDirectory,   // `at` is used as a directory but is none (ENOTDIR)
    NoexecMount,    // `at` lies on a file system mounted noexec
    TooManyLinks,   // ELOOP while following the symbolic link `at`
    TooLong,     // ENAMETOOLONG: the path, or its component `at`, is longer than the system takes
    OtherError,  // `error` at `at`
};

struct AccessVerdict {
    std::string path;  // the path judged
    AccessCause cause = AccessCause::Granted;
    std::string at;
    std::string target;  // a dangling link's target, as the link holds it
    int error = 0;       // the errno the operation fails with; 0 when granted

    bool granted() const { return cause == AccessCause::Granted; }
};

struct AccessProbe {
    AccessOperation operation = AccessOperation::Read;
    std::string path;  // as the launch names it: absolute, or relative to `from`
    // The directory the launch is in when it uses a relative `path`: looked
    // up from there, its ancestors are never searched. Absolute; empty for
    // this process's own working directory.
    std::string from = std::string();
};

// `path` as `from` names it, for the report: absolute unless both are relative.
std::string seenFrom(const std::string& from, std::string path);

// A descriptor (O_PATH) of the directory `path`, opened one component at a
// time when the whole is longer than the system takes in one call; -1 with
// errno set when it cannot be opened.
int openDirectory(const std::string& path);

// A name this process can open the absolute `path` by, with `room` bytes
// more appended (names in the directory `path`, when not 0): the path itself
// when the system takes that whole and this process can reach it, else one
// through /proc/self/fd and a directory opened on the way, which stays open
// for the run.
std::string reachablePath(const std::string& path, std::size_t room = 0);

enum class JudgeMethod {
    Self,      // this process's own identity, asked of the kernel
    Switched,  // a child process that became the user asks the kernel
    Computed,  // from owner, group, permission bits and ACLs, without switching
};

class AccessJudge {
public:
    // Judges for the user running the check.
    AccessJudge();
    // Judges for `user`: by switching to them when this process runs as
    // root, by computing from the file attributes otherwise.
    explicit AccessJudge(const UserIdentity& user);
    // Judges for `user` by `method`, whichever this process could use.
    AccessJudge(const UserIdentity& user, JudgeMethod method);

    const UserIdentity& user() const { return who; }
    JudgeMethod method() const { return how; }
    // Whether a user was named, rather than the running one assumed.
    bool named() const { return userNamed; }

    // One verdict per probe, in their order. Throws std::runtime_error when
    // the child that switches to the user fails.
    std::vector<AccessVerdict> judge(const std::vector<AccessProbe>& probes) const;
    AccessVerdict judge(AccessOperation operation, const std::string& path) const;

private:
    UserIdentity who;
    JudgeMethod how = JudgeMethod::Self;
    bool userNamed = false;
};
