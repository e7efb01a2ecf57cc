#include "cli/CommandLine.h"

#include "report/Formats.h"

namespace {

// --list-kinds writes the catalogue, not a report: these are its formats.
bool listsKindsAs(const std::string& format) {
    return format == "gcc" || format == "json" || format == "man";
}

// What --list-kinds takes with it.
std::string listKindsProblem(const CommandLine& line, const std::string& format) {
    if (!line.installations.empty() || !line.arguments.empty() || line.haveName || line.haveUser ||
        line.haveSeverity || line.haveIgnore || !line.starts.empty() || line.haveStartKind ||
        line.haveRoot || line.explain || line.quiet || line.diff || line.fix ||
        !line.backupOption.empty() || !line.config.empty() || line.noConfig) {
        return "--list-kinds checks nothing: it takes only kinds, --format and --pretty";
    }
    if (!line.paths.empty() && format != "gcc") {
        return "--list-kinds KIND writes the kind's page as text only";
    }
    if (!listsKindsAs(format)) {
        return "--list-kinds writes gcc (text), json or man, not " + format;
    }
    if (line.pretty && format != "json") {
        return "--pretty goes with json";
    }
    if (line.colour == ColourChoice::Always) {
        return "--color=always goes with a report in the gcc format";
    }
    return std::string();
}

}  // namespace

std::string combinationProblem(const CommandLine& line) {
    const std::string format = line.formatName();
    if (line.json && !line.format.empty() && line.format != "json") {
        return "--json and --format " + line.format + " exclude each other";
    }
    if (line.kinds) {
        return listKindsProblem(line, format);
    }
    if (format == "man") {
        return "--format man goes with --list-kinds";
    }
    if (!line.config.empty() && line.noConfig) {
        return "--config and --no-config exclude each other";
    }
    if (line.haveStartKind && line.starts.empty()) {
        return "--start-kind goes with --start";
    }
    const Format* chosen = findFormat(format);
    if (line.diff && line.fix) {
        return "--diff and --fix exclude each other";
    }
    if (!line.backupOption.empty() && !line.fix) {
        return line.backupOption + " goes with --fix";
    }
    if (line.diff && (format != "gcc" || line.explain || line.quiet)) {
        return "--diff prints a diff in place of the report: it takes no --json, --explain, "
               "--quiet or --format other than gcc";
    }
    if (line.pretty && !chosen->indents) {
        return "--pretty goes with --format json or sarif";
    }
    if (line.explain && chosen->explained == nullptr) {
        return "--explain goes with --format gcc or json, not " + format;
    }
    if (line.quiet && line.explain) {
        return "--quiet and --explain exclude each other";
    }
    if (line.quiet && !chosen->forPeople) {
        return "--quiet goes with --format gcc: the " + format +
               " format always writes a whole document";
    }
    if (line.colour == ColourChoice::Always && (!chosen->forPeople || line.diff)) {
        return "--color=always goes with a report in the gcc format";
    }
    return std::string();
}
