#include "CheckCommand.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "ByteText.h"
#include "Check.h"
#include "JsonReport.h"
#include "LauncherCopies.h"
#include "TextReport.h"

namespace {

constexpr int NO_WARNINGS = 0;
constexpr int WARNINGS = 1;
constexpr int CANNOT_CHECK = 2;

const char USAGE[] = "usage: dashvane-launcher-check [--name NAME] [--json] [APPDIR]\n";

int usageError(std::ostream& err, const std::string& problem) {
    err << "dashvane-launcher-check: " << problem << '\n' << USAGE;
    return CANNOT_CHECK;
}

// A report that did not reach its reader (a full disk, a closed pipe) must
// not pass for a clean check.
int reportLost(std::ostream& err) {
    err << "dashvane-launcher-check: cannot write the report\n";
    return CANNOT_CHECK;
}

}  // namespace

int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    std::string name;
    std::string appDir;
    bool haveAppDir = false;
    bool json = false;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--json") {
            json = true;
        } else if (options && arg == "--name") {
            if (i + 1 == argc) {
                return usageError(err, "--name needs a value");
            }
            name = argv[++i];
        } else if (options && arg.compare(0, 7, "--name=") == 0) {
            name = arg.substr(7);
        } else if (options && (arg == "--help" || arg == "-h")) {
            out << USAGE << std::flush;
            return out ? NO_WARNINGS : reportLost(err);
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return usageError(err, "unknown option " + ByteText::visible(arg));
        } else if (haveAppDir) {
            return usageError(err, "only one application directory can be checked");
        } else {
            appDir = arg;
            haveAppDir = true;
        }
    }

    // The launcher runs in the application directory and sees it as getcwd does.
    if (haveAppDir && chdir(appDir.c_str()) != 0) {
        err << "dashvane-launcher-check: cannot enter the application directory \""
            << ByteText::visible(appDir) << "\": " << std::strerror(errno) << '\n';
        return CANNOT_CHECK;
    }
    std::string workingDir;
    try {
        workingDir = boost::filesystem::current_path().native();
    } catch (const boost::filesystem::filesystem_error& e) {
        err << "dashvane-launcher-check: cannot determine the application directory: "
            << e.code().message() << '\n';
        return CANNOT_CHECK;
    }

    try {
        // The copy in the directory names the ini file, as it will when started.
        const CopySearch copies = findLauncherCopies(workingDir);
        if (name.empty()) {
            name = copies.copies.size() == 1 ? "./" + copies.copies.front().name : "./run";
        }
        const Findings findings = inspectApplication(workingDir, name, &copies);
        if (json) {
            writeJsonReport(out, findings);
        } else {
            writeTextReport(out, findings);
        }
        out.flush();
        if (!out) {
            return reportLost(err);
        }
        return findings.warnings.empty() ? NO_WARNINGS : WARNINGS;
    } catch (const std::exception& e) {
        // Memory exhausted by a huge ini line, say: no report rather than half of one.
        err << "dashvane-launcher-check: cannot check: " << e.what() << '\n';
        return CANNOT_CHECK;
    }
}
