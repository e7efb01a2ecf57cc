// The permission judge: the path walk's causes, and the computed judgement
// against the kernel's own for users with groups and ACLs.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "TempDir.h"
#include "facts/AccessJudge.h"

namespace {

namespace fs = boost::filesystem;

std::string canonicalTemp(const TempDir& temp) {
    chmod(temp.path().c_str(), 0755);
    return fs::canonical(temp.path()).native();
}

TEST(AccessJudge, WalkNamesTheComponentAndTheCause) {
    const TempDir temp;
    const std::string root = canonicalTemp(temp);
    temp.write("file", "x");
    fs::create_directory(root + "/dir");
    fs::create_symlink("gone", root + "/dangling");
    fs::create_symlink("loop", root + "/loop");
    fs::create_symlink("dir", root + "/dirlink");
    fs::create_symlink("../" + fs::path(root).filename().native() + "/file", root + "/up");
    const struct {
        std::string path;
        AccessCause cause;
        std::string at;
        std::string target;
    } cases[] = {
        {root + "/none", AccessCause::NotFound, root + "/none", ""},
        {root + "/none/file", AccessCause::NotFound, root + "/none", ""},
        {root + "/file/x", AccessCause::NotDirectory, root + "/file", ""},
        {root + "/dangling", AccessCause::DanglingLink, root + "/dangling", "gone"},
        {root + "/dangling/x", AccessCause::DanglingLink, root + "/dangling", "gone"},
        {root + "/dirlink/none", AccessCause::NotFound, root + "/dir/none", ""},
        {root + "/loop", AccessCause::TooManyLinks, root + "/loop", ""},
        {root + "/up", AccessCause::Granted, "", ""},
        {root + "/./dir/../file", AccessCause::Granted, "", ""},
    };
    const AccessJudge judge;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const AccessVerdict verdict = judge.judge(AccessOperation::Read, c.path);
        EXPECT_EQ(verdict.cause, c.cause);
        EXPECT_EQ(verdict.at, c.at);
        EXPECT_EQ(verdict.target, c.target);
    }
    EXPECT_EQ(judge.judge(AccessOperation::Enter, root + "/file").cause, AccessCause::NotDirectory);
    EXPECT_EQ(judge.judge(AccessOperation::Execute, root + "/dir").cause, AccessCause::Denied);
}

// A POSIX access ACL as the file system stores it: (tag, permissions, id).
// False where the file system keeps no ACLs.
bool setAcl(const std::string& path, const std::vector<std::uint32_t>& entries) {
    std::string raw;
    const auto put = [&raw](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            raw += static_cast<char>((value >> (8 * i)) & 0xff);
        }
    };
    put(2, 4);
    for (std::size_t i = 0; i + 2 < entries.size(); i += 3) {
        put(entries[i], 2);
        put(entries[i + 1], 2);
        put(entries[i + 2], 4);
    }
    const int set = setxattr(path.c_str(), "system.posix_acl_access", raw.data(), raw.size(), 0);
    EXPECT_TRUE(set == 0 || errno == EOPNOTSUPP) << path;
    return set == 0;
}

TEST(AccessJudge, ComputedJudgementAgreesWithTheKernel) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to switch to the users";
    }
    const TempDir temp;
    const std::string root = canonicalTemp(temp);
    // A user with a second group, and a stranger to both groups.
    const UserIdentity member{"member", 4001, 4001, {4001, 4100}};
    const UserIdentity stranger{"stranger", 4002, 4002, {4002}};
    const std::uint32_t USER_OBJ = 1, USER = 2, GROUP_OBJ = 4, GROUP = 8, MASK = 0x10, OTHER = 0x20,
                        NONE = 0xffffffff;
    const struct {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
        std::vector<std::uint32_t> acl;
        AccessOperation operation;
        bool memberMay;
        bool strangerMay;
    } cases[] = {
        {"owner bits rule the owner", 4001, 0, 0074, {}, AccessOperation::Read, false, true},
        {"group bits rule a member", 0, 4100, 0704, {}, AccessOperation::Read, false, true},
        {"other bits", 0, 0, 0004, {}, AccessOperation::Read, true, true},
        {"executable by group only", 0, 4100, 0750, {}, AccessOperation::Execute, true, false},
        {"searchable directory", 0, 4100, 0710, {}, AccessOperation::Enter, true, false},
        {"no execute bit", 0, 0, 0666, {}, AccessOperation::Execute, false, false},
        {"named user entry, masked",
         0,
         0,
         0,
         {USER_OBJ, 7, NONE, USER, 6, 4002, GROUP_OBJ, 0, NONE, MASK, 2, NONE, OTHER, 4, NONE},
         AccessOperation::Read,
         true,
         false},
        {"named group entry",
         0,
         0,
         0,
         {USER_OBJ, 7, NONE, GROUP_OBJ, 0, NONE, GROUP, 5, 4100, MASK, 7, NONE, OTHER, 0, NONE},
         AccessOperation::Execute,
         true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = root + "/f";
        fs::remove_all(path);
        if (c.operation == AccessOperation::Enter) {
            fs::create_directory(path);
        } else {
            temp.write("f", "#!/bin/sh\n");
        }
        ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        if (!c.acl.empty() && !setAcl(path, c.acl)) {
            continue;
        }
        for (const auto& who :
             {std::make_pair(member, c.memberMay), std::make_pair(stranger, c.strangerMay)}) {
            SCOPED_TRACE(who.first.name);
            const AccessVerdict kernel =
                AccessJudge(who.first, JudgeMethod::Switched).judge(c.operation, path);
            const AccessVerdict computed =
                AccessJudge(who.first, JudgeMethod::Computed).judge(c.operation, path);
            EXPECT_EQ(kernel.granted(), who.second);
            EXPECT_EQ(computed.cause, kernel.cause);
        }
    }
}

}  // namespace
