// The password file read directly, as a static program must read it: the
// name-service modules that getpwnam would load are out of its reach.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace Passwd {

struct Entry {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    std::string shell;  // empty when the line names none
};

// Every account of the file at `path`, in its order; none when it cannot be
// read. Lines that name no account are passed over: blank ones, comments,
// ones without a name and ids that fit, and the "+" and "-" lines that
// stand for accounts of another database, not for root.
std::vector<Entry> read(const std::string& path = "/etc/passwd");

// The line's account; false when it names none.
bool parse(const std::string& line, Entry& entry);

}  // namespace Passwd
