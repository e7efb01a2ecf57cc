#include "rules/RuleText.h"

#include <cstring>

#include "util/ByteText.h"

const std::string LAUNCH_FAILED = "\"Failed to launch\"";

std::string quoted(std::string_view bytes) {
    return '"' + ByteText::visible(std::string(bytes)) + '"';
}

std::string linesAfter(std::size_t count) {
    return count == 1 ? "the line after it is"
                      : "the " + std::to_string(count) + " lines after it are";
}

std::string linesIgnoredAfter(const std::string& joiner, std::size_t count) {
    return count == 0 ? std::string() : joiner + linesAfter(count) + " ignored";
}

std::string accessProblem(const AccessVerdict& verdict, const std::string& user,
                          const std::string& denied) {
    const std::string& path = verdict.path;
    const std::string at = quoted(verdict.at);
    switch (verdict.cause) {
        case AccessCause::Granted:
            break;
        case AccessCause::NotFound:
            return verdict.at == path ? "does not exist" : "does not exist: there is no " + at;
        case AccessCause::NotSearchable:
            return "cannot be reached: directory " + at + " cannot be searched by " + user;
        case AccessCause::DanglingLink:
            return (verdict.at == path ? std::string("is a dangling symbolic link ")
                                       : "cannot be reached: dangling symbolic link " + at + " ") +
                   "-> " + quoted(verdict.target);
        case AccessCause::Denied:
            return denied + " by " + user;
        case AccessCause::NotDirectory:
            return verdict.at == path ? "is not a directory"
                                      : "cannot be reached: " + at + " is not a directory";
        case AccessCause::NoexecMount:
            return "lies on a file system mounted noexec, which runs no program";
        case AccessCause::TooManyLinks:
            return "cannot be reached: too many levels of symbolic links at " + at;
        case AccessCause::TooLong:
            return verdict.at == path
                       ? "is a path of " + std::to_string(path.size()) +
                             " bytes, longer than the system takes in one call"
                       : "cannot be reached: " + at + " is longer than the system takes";
        case AccessCause::OtherError:
            return "cannot be judged: " + at + ": " + std::strerror(verdict.error);
    }
    return std::string();
}

KindId accessKind(const AccessVerdict& verdict, KindId fallback) {
    switch (verdict.cause) {
        case AccessCause::NotSearchable:
            return KindId::PathNotSearchable;
        case AccessCause::DanglingLink:
            return KindId::DanglingLink;
        case AccessCause::NoexecMount:
            return KindId::NoexecMount;
        case AccessCause::TooLong:
            return KindId::PathTooLong;
        default:
            return fallback;
    }
}
