#include "facts/Writers.h"

#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <set>
#include <utility>

#include "util/Passwd.h"

namespace {

constexpr std::uint16_t TAG_USER = 0x02;
constexpr std::uint16_t TAG_GROUP_OBJ = 0x04;
constexpr std::uint16_t TAG_GROUP = 0x08;
constexpr std::uint16_t TAG_MASK = 0x10;

// Symbolic links the kernel follows in one lookup before it gives ELOOP.
constexpr int MAX_LINKS = 40;

// A user the system does not name: one who has only what "others" get, or
// one of a group's members who has nothing more than that group.
constexpr uid_t SOMEONE = static_cast<uid_t>(-2);
constexpr gid_t NO_GROUP = static_cast<gid_t>(-2);

std::string joined(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

std::string parentOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string permText(unsigned perm) {
    return std::string(1, (perm & 4) != 0 ? 'r' : '-') + ((perm & 2) != 0 ? 'w' : '-') +
           ((perm & 1) != 0 ? 'x' : '-');
}

struct Node {
    JudgedPath judged;
    PathCache::Entry entry;
    // Names are looked up in it that need not exist yet: a library
    // directory, the application directory, or one a missing file lies in.
    // The sticky bit keeps no one from adding such a name.
    bool lookup = false;
    // The owners of the links met in it: in a sticky directory the owner of
    // a name can still replace it.
    std::vector<uid_t> linkOwners;
};

class Walker {
public:
    explicit Walker(PathCache& cache) : cache(cache) {}

    // Follows `use.path` from "/" as the kernel looks it up, meeting every
    // directory on the way, each link's and its target's, and the file.
    void walk(const PathUse& use) {
        std::vector<std::string> pending;  // the next component last
        const auto push = [&pending](const std::string& text) {
            std::vector<std::string> parts;
            std::string::size_type start = 0;
            while (start <= text.size()) {
                const std::string::size_type end = std::min(text.find('/', start), text.size());
                parts.push_back(text.substr(start, end - start));
                start = end + 1;
            }
            pending.insert(pending.end(), parts.rbegin(), parts.rend());
        };
        std::string dir = "/";
        meet(dir, cache.look(dir), use, true);
        push(use.path);
        int links = 0;
        while (!pending.empty()) {
            const std::string name = pending.back();
            pending.pop_back();
            if (name.empty() || name == ".") {
                continue;
            }
            if (name == "..") {
                dir = parentOf(dir);
                continue;
            }
            const std::string candidate = joined(dir, name);
            const PathCache::Entry entry = cache.look(candidate);
            if (entry.error != 0) {
                // Whoever can add the missing name there chooses what the
                // launch finds; a path the check cannot see into ends here.
                nodes[index[dir]].lookup = nodes[index[dir]].lookup || entry.error == ENOENT;
                return;
            }
            if (S_ISLNK(entry.status.st_mode)) {
                nodes[index[dir]].linkOwners.push_back(entry.status.st_uid);
                if (++links > MAX_LINKS) {
                    return;
                }
                push(entry.target);
                if (!entry.target.empty() && entry.target[0] == '/') {
                    dir = "/";
                }
                continue;
            }
            const bool last = std::all_of(pending.begin(), pending.end(), [](const std::string& p) {
                return p.empty() || p == ".";
            });
            const bool directory = S_ISDIR(entry.status.st_mode);
            if (!last && !directory) {
                return;
            }
            Node& node = meet(candidate, entry, use, !last);
            if (last) {
                node.lookup = node.lookup || (directory && !use.namesListed);
                return;
            }
            dir = candidate;
        }
    }

    std::vector<Node> nodes;
    std::map<std::string, std::size_t> index;

private:
    Node& meet(const std::string& path, const PathCache::Entry& entry, const PathUse& use,
               bool onTheWay) {
        const auto found = index.find(path);
        if (found == index.end()) {
            index[path] = nodes.size();
            Node node;
            node.entry = entry;
            JudgedPath& judged = node.judged;
            judged.path = path;
            judged.owner = cache.identityOf(entry.status.st_uid).name;
            judged.group = cache.groupName(entry.status.st_gid);
            judged.mode = entry.status.st_mode & 07777U;
            judged.directory = S_ISDIR(entry.status.st_mode);
            judged.acl = !entry.acl.empty();
            judged.code = use.code;
            judged.onTheWay = onTheWay;
            judged.use = use;
            nodes.push_back(node);
            return nodes.back();
        }
        JudgedPath& judged = nodes[found->second].judged;
        // Named after its weightiest use: code before data, the path itself
        // before a way through it.
        if ((use.code && !judged.code) ||
            (use.code == judged.code && judged.onTheWay && !onTheWay)) {
            judged.use = use;
            judged.onTheWay = onTheWay;
        }
        judged.code = judged.code || use.code;
        return nodes[found->second];
    }

    PathCache& cache;
};

class Judge {
public:
    Judge(const UserIdentity& user, PathCache& cache) : user(user), cache(cache) {}

    void judge(Node& node) {
        const struct stat& status = node.entry.status;
        const std::vector<AclEntry>& acl = node.entry.acl;
        JudgedPath& judged = node.judged;
        const std::string& path = judged.path;
        // Changing a directory's names takes write and search permission.
        const int want = judged.directory ? W_OK | X_OK : W_OK;
        // The owner can change the mode, whatever it is now.
        if (foreign(status.st_uid)) {
            const UserIdentity owner = cache.identityOf(status.st_uid);
            if (reaches(owner, path)) {
                judged.writers.push_back({"user " + owner.name, "its owner", "chown root"});
            }
        }
        if (stickyKeepsOut(node)) {
            return;
        }
        // What a character device such as /dev/null gives a reader does not
        // change by writing to it; only its owner's rights matter.
        if (S_ISCHR(status.st_mode)) {
            return;
        }
        unsigned mask = 7;
        for (const AclEntry& entry : acl) {
            mask = entry.tag == TAG_MASK ? entry.perm : mask;
        }
        const std::string maskText = acl.empty() ? "" : ", mask " + permText(mask);
        for (const AclEntry& entry : acl) {
            if (entry.tag == TAG_GROUP_OBJ) {
                groupWriter(node, status.st_gid,
                            "ACL entry group::" + permText(entry.perm) + maskText, "chmod g-w");
            } else if (entry.tag == TAG_GROUP) {
                const std::string name = cache.groupName(entry.id);
                groupWriter(node, entry.id, "ACL entry group:" + name + ":" + permText(entry.perm),
                            "setfacl -x g:" + name);
            } else if (entry.tag == TAG_USER && foreign(entry.id)) {
                const UserIdentity named = cache.identityOf(entry.id);
                if (permittedBy(status, acl, want, named) && reaches(named, path)) {
                    judged.writers.push_back(
                        {"user " + named.name,
                         "ACL entry user:" + named.name + ":" + permText(entry.perm) + maskText,
                         "setfacl -x u:" + named.name});
                }
            }
        }
        if (acl.empty()) {
            groupWriter(node, status.st_gid, "mode " + modeText(status.st_mode), "chmod g-w");
        }
        const UserIdentity anyone{"others", SOMEONE, NO_GROUP, {}};
        if (permittedBy(status, acl, want, anyone) && reaches(anyone, path)) {
            const bool sticky = judged.directory && (status.st_mode & S_ISVTX) != 0;
            judged.writers.push_back(
                {"others",
                 "mode " + modeText(status.st_mode) +
                     (sticky ? ": the sticky bit does not keep them from adding names" : ""),
                 "chmod o-w"});
        }
    }

private:
    // In a sticky directory only the owner of a name, or of the directory,
    // can remove or replace it: it counts where the launch looks up a name
    // missing there or a link someone else owns. A file someone else owns
    // there is judged as that file.
    bool stickyKeepsOut(const Node& node) const {
        return node.judged.directory && (node.entry.status.st_mode & S_ISVTX) != 0 &&
               !node.lookup &&
               std::none_of(node.linkOwners.begin(), node.linkOwners.end(),
                            [this](uid_t uid) { return foreign(uid); });
    }

    bool foreign(uid_t uid) const { return uid != 0 && uid != user.uid; }

    // Whether `who` can search every directory above `path`.
    bool reaches(const UserIdentity& who, const std::string& path) {
        for (std::string::size_type slash = 0; slash != std::string::npos && slash < path.size();
             slash = path.find('/', slash + 1)) {
            const PathCache::Entry dir = cache.look(slash == 0 ? "/" : path.substr(0, slash));
            if (dir.error != 0 || !permittedBy(dir.status, dir.acl, X_OK, who)) {
                return false;
            }
        }
        return true;
    }

    // A member of `gid` with nothing more than that group, if it may write;
    // a group of root and the application's user alone changes nothing.
    void groupWriter(Node& node, gid_t gid, const std::string& how, const std::string& remedy) {
        const UserIdentity member{"", SOMEONE, gid, {gid}};
        const std::string& path = node.judged.path;
        if (!permittedBy(node.entry.status, node.entry.acl,
                         node.judged.directory ? W_OK | X_OK : W_OK, member) ||
            !reaches(member, path)) {
            return;
        }
        const std::vector<uid_t>& members = cache.membersOf(gid);
        const std::string name = cache.groupName(gid);
        if (!members.empty() && std::none_of(members.begin(), members.end(),
                                             [this](uid_t uid) { return foreign(uid); })) {
            if (std::find(members.begin(), members.end(), user.uid) != members.end()) {
                node.judged.ownGroup = name;
            }
            return;
        }
        node.judged.writers.push_back({"group " + name, how, remedy});
    }

    const UserIdentity& user;
    PathCache& cache;
};

}  // namespace

std::string modeText(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777U);
    return text;
}

PathCache::Entry PathCache::look(const std::string& path) {
    const auto found = dirs.find(path);
    if (found != dirs.end()) {
        return found->second;
    }
    Entry entry;
    if (lstat(path.c_str(), &entry.status) != 0) {
        entry.error = errno;
        return entry;
    }
    if (S_ISLNK(entry.status.st_mode)) {
        std::string target(PATH_MAX, '\0');
        const ssize_t size = readlink(path.c_str(), &target[0], target.size());
        entry.target = target.substr(0, size > 0 ? static_cast<std::size_t>(size) : 0);
        return entry;
    }
    entry.acl = extendedAcl(path);
    if (S_ISDIR(entry.status.st_mode)) {
        dirs[path] = entry;
    }
    return entry;
}

UserIdentity PathCache::identityOf(uid_t uid) {
    readGroups();
    const auto found = users.find(uid);
    return found != users.end() ? found->second
                                : UserIdentity{std::to_string(uid), uid, NO_GROUP, {}};
}

const std::vector<uid_t>& PathCache::membersOf(gid_t gid) {
    readGroups();
    return members[gid];
}

std::string PathCache::groupName(gid_t gid) {
    readGroups();
    const auto found = groupNames.find(gid);
    return found != groupNames.end() ? found->second : std::to_string(gid);
}

// The local files, read directly and once, as the access judgement reads
// them: every user with the groups a login gives them, and every group's
// members.
void PathCache::readGroups() {
    if (groupsRead) {
        return;
    }
    groupsRead = true;
    std::map<std::string, uid_t> uids;
    for (const Passwd::Entry& entry : Passwd::read()) {
        // The first entry of a uid is the one the system takes.
        if (users.count(entry.uid) == 0) {
            users[entry.uid] = UserIdentity{entry.name, entry.uid, entry.gid, {entry.gid}};
        }
        uids.emplace(entry.name, entry.uid);
        members[entry.gid].push_back(entry.uid);
    }
    if (FILE* file = std::fopen("/etc/group", "re")) {
        while (const group* entry = fgetgrent(file)) {
            groupNames.emplace(entry->gr_gid, entry->gr_name);
            std::vector<uid_t>& listed = members[entry->gr_gid];
            for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
                const auto known = uids.find(*member);
                // A member the password file does not know is someone else.
                const uid_t uid = known != uids.end() ? known->second : SOMEONE;
                if (std::find(listed.begin(), listed.end(), uid) == listed.end()) {
                    listed.push_back(uid);
                }
                const auto user = users.find(uid);
                if (user != users.end() && user->second.name == *member &&
                    std::find(user->second.groups.begin(), user->second.groups.end(),
                              entry->gr_gid) == user->second.groups.end()) {
                    user->second.groups.push_back(entry->gr_gid);
                }
            }
        }
        std::fclose(file);
    }
}

std::vector<JudgedPath> judgeWriters(const std::vector<PathUse>& uses, const UserIdentity& user,
                                     PathCache& cache) {
    Walker walker(cache);
    // An ini file may name one agent many times: each path is walked once.
    std::set<std::pair<std::string, bool>> walked;
    for (const PathUse& use : uses) {
        if (!use.path.empty() && use.path[0] == '/' && walked.insert({use.path, use.code}).second) {
            walker.walk(use);
        }
    }
    Judge judge(user, cache);
    std::vector<JudgedPath> judged;
    for (Node& node : walker.nodes) {
        judge.judge(node);
        judged.push_back(std::move(node.judged));
    }
    return judged;
}
