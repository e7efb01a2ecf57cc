#include "cli/Targets.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "facts/LauncherCopies.h"
#include "util/ByteText.h"

namespace {

const char INI_SUFFIX[] = ".ini";
constexpr std::size_t INI_SUFFIX_SIZE = sizeof INI_SUFFIX - 1;

std::string joined(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir == ".") {
        return name;
    }
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

// "./run" and "run" start the same copy, whose ini file is run.ini.
std::string withoutDotSlash(const std::string& name) {
    return name.compare(0, 2, "./") == 0 ? name.substr(2) : name;
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The directory that holds `apps`, as the user may name it: "ws" for
// "ws/apps/", "." for "apps".
std::string holderOf(std::string apps) {
    while (apps.size() > 1 && apps.back() == '/') {
        apps.pop_back();
    }
    const std::string::size_type slash = apps.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : apps.substr(0, slash);
}

}  // namespace

std::string installationProblem(const std::string& dir) {
    if (!isDirectory(joined(dir, "eclipse")) || !isDirectory(joined(dir, "apps")) ||
        !findLauncherCopies(dir).iniFiles.empty()) {
        return std::string();
    }
    const std::string shown = ByteText::visible(dir);
    return "\"" + shown + "\" holds eclipse/ and apps/: it is an installation, not an " +
           "application directory; use --installation " + shown;
}

bool targetOf(const std::string& arg, const std::string& nameOption, bool haveName, Target& target,
              std::string& problem) {
    target = Target{arg, haveName ? nameOption : std::string()};
    struct stat status {};
    if (stat(arg.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        problem = installationProblem(arg);
        return problem.empty();
    }
    const std::string::size_type slash = arg.rfind('/');
    const std::string file = slash == std::string::npos ? arg : arg.substr(slash + 1);
    if (file.size() <= INI_SUFFIX_SIZE ||
        file.compare(file.size() - INI_SUFFIX_SIZE, INI_SUFFIX_SIZE, INI_SUFFIX) != 0) {
        // Not an ini file: the check says the directory cannot be entered.
        return true;
    }
    const std::string name = file.substr(0, file.size() - INI_SUFFIX_SIZE);
    target.dir = slash == std::string::npos ? "." : slash == 0 ? "/" : arg.substr(0, slash);
    target.name = "./" + name;
    if (haveName && withoutDotSlash(nameOption) != name) {
        problem = "--name " + ByteText::visible(nameOption) + " names another ini file than " +
                  ByteText::visible(arg);
        return false;
    }
    return true;
}

bool applicationsOf(const std::string& installation, std::vector<std::string>& dirs,
                    std::string& problem) {
    const std::string apps = joined(installation, "apps");
    DIR* listing = opendir(apps.c_str());
    if (listing == nullptr) {
        const int error = errno;
        problem = "cannot read the installation's applications \"" + ByteText::visible(apps) +
                  "\": " + std::strerror(error);
        // Given the applications directory itself, name the one it needs.
        const std::string holder = holderOf(installation);
        if (error == ENOENT && isDirectory(joined(holder, "eclipse")) &&
            isDirectory(installation)) {
            problem += "; --installation takes the directory that holds apps/ and eclipse/: \"" +
                       ByteText::visible(holder) + "\"";
        }
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string dir = joined(apps, name);
        struct stat status {};
        if (stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            continue;
        }
        const CopySearch found = findLauncherCopies(dir);
        // One the user can search but not list is looked into by the usual
        // names, not passed over in silence.
        struct stat named {};
        const bool holdsIni =
            !found.copies.empty() || !found.iniFiles.empty() ||
            (!found.listed && (stat(joined(dir, "run").c_str(), &named) == 0 ||
                               stat(joined(dir, "run.ini").c_str(), &named) == 0));
        if (holdsIni) {
            dirs.push_back(dir);
        }
    }
    return true;
}
