// Who besides root and the application's user can change the files and
// directories a launch reads or executes: whoever can, chooses what runs.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "facts/AccessJudge.h"

// A path the launch reads or executes.
struct PathUse {
    std::string path;      // absolute, as the launch names it
    std::string role;      // "the ini file", in words for the report
    bool code = true;      // whoever changes it chooses the code that runs; else data
    std::size_t line = 0;  // the ini line that names it; 0 for none
    // A directory in which the launch looks up only the names other uses
    // lead through, such as the application directory; else any name may
    // be looked up in it, as in a directory searched for libraries.
    bool namesListed = false;
};

// Someone besides root and the application's user who can change a path.
struct PathWriter {
    std::string who;     // "others", "group staff", "user bob"
    std::string how;     // "mode 0666", "its owner", "ACL entry user:bob:rw-"
    std::string remedy;  // "chmod o-w", "chown root", "setfacl -x u:bob"
};

// A file or directory met on the way to a path the launch uses, or that path.
struct JudgedPath {
    std::string path;  // physical: every symbolic link resolved
    std::string owner;
    std::string group;
    unsigned mode = 0;  // permission, set-id and sticky bits
    bool directory = false;
    bool acl = false;       // carries an extended access ACL
    bool code = true;       // some use lets whoever changes it choose the code
    bool onTheWay = false;  // a directory on the way to the use, not the use itself
    PathUse use;            // the first use that met it, a code use before a data one
    std::vector<PathWriter> writers;
    std::string ownGroup;  // writable by this group, whose only other member is root
};

// The attributes of paths, kept for one run of the check: directories such
// as the installation's are shared by all its applications. Files are read
// afresh, as a mend may replace them between two checks.
class PathCache {
public:
    struct Entry {
        int error = 0;  // of lstat; 0 when the path exists
        struct stat status {};
        std::vector<AclEntry> acl;
        std::string target;  // a symbolic link's
    };
    Entry look(const std::string& path);
    UserIdentity identityOf(uid_t uid);
    // Every user whose login gives them `gid`.
    const std::vector<uid_t>& membersOf(gid_t gid);
    std::string groupName(gid_t gid);

private:
    void readGroups();
    std::map<std::string, Entry> dirs;
    std::map<uid_t, UserIdentity> users;
    bool groupsRead = false;
    std::map<gid_t, std::vector<uid_t>> members;
    std::map<gid_t, std::string> groupNames;
};

// "0755": permission, set-id and sticky bits as chmod takes them.
std::string modeText(unsigned mode);

// Every path the uses lead through, from "/", once each in the order met,
// with who besides root and `user` can change it.
std::vector<JudgedPath> judgeWriters(const std::vector<PathUse>& uses, const UserIdentity& user,
                                     PathCache& cache);
