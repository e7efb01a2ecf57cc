// Who besides root and the application's user may change what the launch
// runs: the checker's verdict against what a real second user can do.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "LauncherFixture.h"

namespace fs = boost::filesystem;
using namespace dvltest;
using Json = nlohmann::json;

namespace {

// Someone who is neither root nor the application's user (nobody, 65534),
// with a group of their own that no login gives anyone else.
constexpr unsigned SECOND_ID = 65533;
// A group whose one member is nobody, made for the test where it is missing.
constexpr unsigned OWN_GROUP_ID = 65532;
const char OWN_GROUP[] = "dvl-nobody-only";

// Whether the second user changes `path`: writes the file, adds a name to
// the directory, or creates the missing file. Nothing is left changed.
bool secondUserChanges(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        const gid_t group = SECOND_ID;
        if (setgroups(1, &group) != 0 || setgid(SECOND_ID) != 0 || setuid(SECOND_ID) != 0) {
            _exit(2);
        }
        struct stat status {};
        const bool exists = stat(path.c_str(), &status) == 0;
        const std::string target = exists && S_ISDIR(status.st_mode) ? path + "/.second" : path;
        const bool created = target != path || !exists;
        const int fd = open(target.c_str(), O_WRONLY | (created ? O_CREAT | O_EXCL : 0), 0600);
        if (fd < 0) {
            _exit(1);
        }
        close(fd);
        if (created) {
            unlink(target.c_str());
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void run(const std::vector<std::string>& argv) {
    Command command;
    command.program = argv[0];
    command.argv = argv;
    command.searchPath = true;
    command.env = {{"PATH", "/usr/sbin:/usr/bin:/sbin:/bin"}};
    const Result result = run(command);
    ASSERT_EQ(result.exitCode, 0) << argv[0] << ": " << result.err;
}

// Made here if it is missing, and removed again when the test ends.
bool ownGroupMade = false;

bool ownGroupReady() {
    if (getgrgid(OWN_GROUP_ID) == nullptr) {
        run({"groupadd", "-g", std::to_string(OWN_GROUP_ID), "-U", "nobody", OWN_GROUP});
        ownGroupMade = true;
    }
    const group* entry = getgrgid(OWN_GROUP_ID);
    return entry != nullptr && entry->gr_mem[0] != nullptr &&
           std::string(entry->gr_mem[0]) == "nobody" && entry->gr_mem[1] == nullptr;
}

void own(const std::string& path, unsigned uid, unsigned gid, mode_t mode) {
    ASSERT_EQ(lchown(path.c_str(), uid, gid), 0) << path;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::vector<std::string> WRITER_KINDS = {"writable-by-others", "data-writable-by-others",
                                               "writable-by-own-group"};

}  // namespace

TEST(CheckWriters, TheVerdictAgreesWithWhatASecondUserCanDo) {
    DVL_REQUIRE_ROOT();
    using Setup = std::function<std::string(const Installation&)>;
    struct Row {
        const char* name;
        Setup setup;       // the path the second user tries; "" where this system cannot
        const char* kind;  // the finding on it (on the directory of a missing file); "" none
    };
    const auto ini = [](const Installation& inst) { return inst.appDir + "/run.ini"; };
    const auto dashvane = [](const Installation& inst) { return inst.eclipse + "/Dashvane"; };
    const auto acl = [](const std::string& entry) {
        return [entry](const Installation& inst) {
            run({"setfacl", "-m", entry, inst.appDir + "/run.ini"});
            return inst.appDir + "/run.ini";
        };
    };
    // A world-writable sticky directory, as /tmp is, holding `file` owned by `uid`.
    const auto sticky = [](unsigned uid, bool exists) {
        return [uid, exists](const Installation& inst) {
            const std::string shared = inst.root + "/shared", file = shared + "/init.js";
            fs::create_directory(shared);
            fs::permissions(shared, static_cast<fs::perms>(01777));
            if (exists) {
                writeFile(file, "init();\n", 0644);
                own(file, uid, uid, 0644);
            }
            inst.writeIni("-vmargs\n-Ddv.appInitScript=" + file + "\n");
            return file;
        };
    };
    const std::vector<Row> rows = {
        {"ini file of mode 0644", ini, ""},
        {"ini file of mode 0666",
         [&](const Installation& inst) {
             own(ini(inst), 0, 0, 0666);
             return ini(inst);
         },
         "writable-by-others"},
        {"ini file owned by the second user",
         [&](const Installation& inst) {
             own(ini(inst), SECOND_ID, 0, 0644);
             return ini(inst);
         },
         "writable-by-others"},
        {"ini file writable by the second user's group",
         [&](const Installation& inst) {
             own(ini(inst), 0, SECOND_ID, 0664);
             return ini(inst);
         },
         "writable-by-others"},
        {"ini file writable by a group of the application's user alone",
         [&](const Installation& inst) {
             if (!ownGroupReady()) {
                 return std::string();
             }
             own(ini(inst), 0, OWN_GROUP_ID, 0664);
             return ini(inst);
         },
         "writable-by-own-group"},
        {"ini file with an ACL entry that lets the second user write", acl("u:65533:rw"),
         "writable-by-others"},
        {"ini file with an ACL entry that lets the second user read", acl("u:65533:r"), ""},
        {"ini file with an ACL entry that lets the second user's group write", acl("g:65533:rw"),
         "writable-by-others"},
        {"ini file with a write ACL entry the mask takes back", acl("u:65533:rw,m::r"), ""},
        {"application directory of mode 0777",
         [](const Installation& inst) {
             own(inst.appDir, 0, 0, 0777);
             return inst.appDir;
         },
         "writable-by-others"},
        // Others can add names there, but every name the launch looks up
        // exists and is root's.
        {"application directory sticky and world-writable",
         [](const Installation& inst) {
             own(inst.appDir, 0, 0, 01777);
             return inst.appDir + "/run.ini";
         },
         ""},
        {"application directory sticky and world-writable, the ini file missing",
         [](const Installation& inst) {
             own(inst.appDir, 0, 0, 01777);
             fs::remove(inst.appDir + "/run.ini");
             return inst.appDir + "/run.ini";
         },
         "writable-by-others"},
        {"application directory sticky and world-writable, the ini file a link the second "
         "user owns",
         [](const Installation& inst) {
             own(inst.appDir, 0, 0, 01777);
             fs::rename(inst.appDir + "/run.ini", inst.root + "/run.ini");
             fs::create_symlink(inst.root + "/run.ini", inst.appDir + "/run.ini");
             EXPECT_EQ(lchown((inst.appDir + "/run.ini").c_str(), SECOND_ID, SECOND_ID), 0);
             return inst.appDir;
         },
         "writable-by-others"},
        {"directory on the way of mode 0777",
         [](const Installation& inst) {
             own(inst.root + "/ws", 0, 0, 0777);
             return inst.root + "/ws";
         },
         "writable-by-others"},
        {"directory on the way of mode 0777 that only the user's group reaches",
         [](const Installation& inst) {
             own(inst.root + "/ws", 0, 0, 0777);
             own(inst.root, 0, UNPRIVILEGED_ID, 0710);
             return inst.root + "/ws";
         },
         ""},
        {"launcher copy writable by the second user's group",
         [](const Installation& inst) {
             own(inst.appDir + "/run", 0, SECOND_ID, 0775);
             return inst.appDir + "/run";
         },
         "writable-by-others"},
        {"launcher copy a link into a directory the second user owns",
         [](const Installation& inst) {
             const std::string bin = inst.root + "/bin";
             fs::create_directory(bin);
             fs::rename(inst.appDir + "/run", bin + "/run");
             fs::create_symlink(bin + "/run", inst.appDir + "/run");
             own(bin, SECOND_ID, SECOND_ID, 0755);
             return bin;
         },
         "writable-by-others"},
        {"Dashvane of mode 0777",
         [&](const Installation& inst) {
             own(dashvane(inst), 0, 0, 0777);
             return dashvane(inst);
         },
         "writable-by-others"},
        {"Dashvane owned by the second user",
         [&](const Installation& inst) {
             own(dashvane(inst), SECOND_ID, SECOND_ID, 0755);
             return dashvane(inst);
         },
         "writable-by-others"},
        {"launcher= program owned by root in a sticky world-writable directory",
         [](const Installation& inst) {
             const std::string shared = inst.root + "/shared";
             fs::create_directory(shared);
             fs::permissions(shared, static_cast<fs::perms>(01777));
             copyFile(standinBinary(), shared + "/Dashvane", 0755);
             inst.writeIni("launcher=" + shared + "/Dashvane\n-vmargs\n");
             return shared + "/Dashvane";
         },
         ""},
        {"interpreter of mode 0777",
         [](const Installation& inst) {
             if (underEmulator()) {
                 return std::string();
             }
             copyFile("/bin/sh", inst.eclipse + "/sh", 0777);
             copyFile(standinBinary(), inst.eclipse + "/Dashvane.bin", 0755);
             writeFile(inst.eclipse + "/Dashvane",
                       "#!" + inst.eclipse + "/sh\nexec " + inst.eclipse + "/Dashvane.bin\n", 0755);
             return inst.eclipse + "/sh";
         },
         "writable-by-others"},
        {"the program #!/usr/bin/env runs, of mode 0777",
         [](const Installation& inst) {
             if (underEmulator()) {
                 return std::string();
             }
             copyFile("/bin/sh", inst.eclipse + "/sh", 0777);
             copyFile(standinBinary(), inst.eclipse + "/Dashvane.bin", 0755);
             writeFile(
                 inst.eclipse + "/Dashvane",
                 "#!/usr/bin/env " + inst.eclipse + "/sh\nexec " + inst.eclipse + "/Dashvane.bin\n",
                 0755);
             return inst.eclipse + "/sh";
         },
         "writable-by-others"},
        {"RUNPATH directory writable by the second user's group",
         [&](const Installation& inst) {
             const std::string program = bytesOf(DVL_STANDIN_RUNPATH_BINARY);
             if (program.find("$ORIGIN/lib") == std::string::npos || underEmulator()) {
                 return std::string();  // a static stand-in
             }
             writeFile(dashvane(inst), program, 0755);
             fs::create_directory(inst.eclipse + "/lib");
             own(inst.eclipse + "/lib", 0, SECOND_ID, 0775);
             return inst.eclipse + "/lib";
         },
         "writable-by-others"},
        {"agent jar of mode 0666",
         [](const Installation& inst) {
             writeFile(inst.eclipse + "/agent.jar", "PK", 0666);
             inst.writeIni("-vmargs\n-javaagent:agent.jar=verbose\n");
             return inst.eclipse + "/agent.jar";
         },
         "writable-by-others"},
        {"agent jar of mode 0644",
         [](const Installation& inst) {
             writeFile(inst.eclipse + "/agent.jar", "PK", 0644);
             inst.writeIni("-vmargs\n-javaagent:agent.jar\n");
             return inst.eclipse + "/agent.jar";
         },
         ""},
        {"data file of mode 0666",
         [](const Installation& inst) {
             writeFile(inst.appDir + "/init.js", "init();\n", 0666);
             inst.writeIni("-vmargs\n-Ddv.appInitScript=init.js\n");
             return inst.appDir + "/init.js";
         },
         "data-writable-by-others"},
        {"data file owned by root in a sticky directory", sticky(0, true), ""},
        {"data file owned by the second user in a sticky directory", sticky(SECOND_ID, true),
         "data-writable-by-others"},
        {"data file missing from a sticky directory", sticky(0, false), "data-writable-by-others"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Installation inst;
        inst.writeIni("-vmargs\n-Xmx1024m\n");
        const std::string path = row.setup(inst);
        if (path.empty()) {
            continue;
        }
        const std::string kind = row.kind;
        const bool writes = kind == "writable-by-others" || kind == "data-writable-by-others";
        EXPECT_EQ(secondUserChanges(path), writes);

        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check",
                        "--json",
                        "--severity",
                        "note",
                        "--user",
                        "nobody",
                        inst.appDir};
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        const Result checked = run(command);
        ASSERT_LE(checked.exitCode, 1) << checked.err;
        const Json report = Json::parse(checked.out)["applications"][0];
        std::vector<std::pair<std::string, std::string>> found;
        for (const Json& finding : report.at("findings")) {
            const std::string name = finding.at("kind").get<std::string>();
            if (std::find(WRITER_KINDS.begin(), WRITER_KINDS.end(), name) != WRITER_KINDS.end()) {
                found.emplace_back(name, finding.at("file").get<std::string>());
            }
        }
        std::vector<std::pair<std::string, std::string>> expected;
        if (!kind.empty()) {
            expected.emplace_back(kind,
                                  fs::exists(path) ? path : fs::path(path).parent_path().native());
        }
        EXPECT_EQ(found, expected) << checked.out;
        if (kind.empty() && std::string(row.name) == "ini file of mode 0644") {
            // A clean installation: nothing at all, and every path it uses listed.
            EXPECT_EQ(checked.exitCode, 0) << checked.out;
            bool listed = false;
            for (const Json& judged : report.at("paths")) {
                listed =
                    listed || (judged.at("path") == ini(inst) && judged.at("owner") == "root" &&
                               judged.at("mode") == "0644" && judged.at("writers").empty());
            }
            EXPECT_TRUE(listed) << report.at("paths").dump();
        }
    }
    if (ownGroupMade) {
        run({"groupdel", OWN_GROUP});
    }
}
