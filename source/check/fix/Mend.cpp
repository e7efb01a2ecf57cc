#include "fix/Mend.h"

#include <sys/stat.h>

#include <cerrno>

#include "fix/IniFix.h"
#include "fix/SafeRewrite.h"
#include "fix/UnifiedDiff.h"
#include "model/Catalogue.h"

namespace {

std::string where(const std::string& name, std::size_t line) {
    return line == 0 ? name + ':' : name + ':' + std::to_string(line) + ':';
}

// Where a line is left with a mistake --fix could mend, says why: the check
// says it too, but --diff shows the diff alone.
void showDiff(const std::string& name, const std::string& original, const IniFixResult& fixed,
              bool readable, std::ostream& out, std::ostream& err) {
    for (const RefusedFix& refused : fixed.refused) {
        // A refusal of every other mend names no one kind.
        err << where(name, refused.line) << " not fixed: " << refused.reason
            << (refused.kind == KindId::Count ? std::string()
                                              : std::string(" [") + kindOf(refused.kind).name + "]")
            << '\n';
    }
    // Headers as diff -u and git write them: a/ and b/ before the name.
    const std::string header = name[0] == '/' ? name.substr(1) : name;
    const std::string diff = unifiedDiff(original, fixed.bytes, "a/" + header, "b/" + header);
    out << (readable ? readableDiff(diff) : diff);
}

bool notFixed(std::ostream& err, const std::string& name, const std::string& why) {
    err << where(name, 0) << " not fixed: " << why << '\n';
    return true;
}

// Each mend made, one line each.
void listFixes(const std::string& name, const IniFixResult& fixed, std::ostream& out) {
    for (const AppliedFix& fix : fixed.fixes) {
        const Kind& kind = kindOf(fix.kind);
        // A line mended with another's mend was no mistake today: the
        // change is said as what it is.
        const bool moved =
            fix.kind == KindId::CommentInVmSection || fix.kind == KindId::LauncherInVmSection;
        const std::string with = std::to_string(fix.with);
        const std::string what =
            fix.with == 0 ? std::string(kind.summary)
            : moved       ? "moved above -vmargs, which the mend of line " + with + " puts in place"
                    : std::string(kind.summary) + ", below the -vmargs the mend of line " + with +
                          " puts in place";
        out << where(name, fix.line) << " fixed: " << what << " [" << kind.name << "]\n";
    }
}

}  // namespace

std::string tooLargeToMend() {
    return "the file is over " + std::to_string(MOST_MENDED / (1024 * 1024)) +
           " MiB, more than --fix mends; mend it by hand";
}

IniFixResult notMended(const std::string& reason) {
    IniFixResult result;
    result.refused.push_back(RefusedFix{KindId::Count, 0, reason});
    return result;
}

bool mendIni(const MendOptions& options, const std::string& name, const std::string& path,
             const LaunchOracle& errorsOf, std::ostream& out, std::ostream& err,
             IniFixResult* planned) {
    const auto cannot = [&err, &name](const std::string& why) {
        err << "dashvane-launcher-check: cannot fix " << name << ": " << why << '\n';
        return false;
    };
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        // Nothing to mend; the check has its finding about the missing file.
        return true;
    }
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size > MOST_MENDED) {
        if (planned != nullptr) {
            *planned = notMended(tooLargeToMend());
        }
        // With --diff, an empty diff would read as nothing to mend.
        return options.diff ? notFixed(err, name, tooLargeToMend()) : cannot(tooLargeToMend());
    }
    SafeRewrite::Original original;
    const std::string unreadable = SafeRewrite::read(path, original);
    if (!unreadable.empty()) {
        return options.diff || cannot(unreadable);
    }
    const IniFixResult fixed = planToTheEnd(errorsOf, original.bytes);
    if (planned != nullptr) {
        *planned = fixed;
    }
    if (!fixed.refusal.empty()) {
        return options.diff || cannot(fixed.refusal);
    }
    if (options.diff) {
        showDiff(name, original.bytes, fixed, options.readable, out, err);
        return true;
    }
    SafeRewrite::removeStaleTemporaries(original.path);
    if (fixed.bytes != original.bytes) {
        const std::string failed = SafeRewrite::replace(original, fixed.bytes, options.backup);
        if (!failed.empty()) {
            return cannot(failed);
        }
    }
    if (options.listFixes) {
        listFixes(name, fixed, out);
    }
    return true;
}
