#include "util/JavaOptions.h"

#include <cstring>

namespace {

constexpr JavaOption OPTIONS[] = {
    {"-version", false, false},
    {"-showversion", false, false},
    {"--version", false, false},
    {"--show-version", false, false},
    {"-server", false, true},
    {"-client", false, true},
    {"-verbose", false, true},
    {"-verbose:", false, true},
    {"-ea", false, true},
    {"-ea:", false, true},
    {"-da", false, true},
    {"-da:", false, true},
    {"-esa", false, true},
    {"-dsa", false, true},
    {"-enableassertions", false, true},
    {"-enableassertions:", false, false},
    {"-disableassertions", false, true},
    {"-disableassertions:", false, false},
    {"-enablesystemassertions", false, false},
    {"-disablesystemassertions", false, false},
    {"-javaagent:", false, true},
    {"-agentlib:", false, true},
    {"-agentpath:", false, true},
    {"-splash:", false, false},
    {"-noverify", false, false},
    {"--enable-preview", false, false},
    {"--disable-@files", false, false},
    {"--dry-run", false, false},
    {"--illegal-access=", false, false},
    {"-help", false, false},
    {"-h", false, false},
    {"-?", false, false},
    {"--help", false, false},
    {"--help-extra", false, false},
    {"-cp", true, false},
    {"-classpath", true, false},
    {"--class-path", true, false},
    {"--class-path=", false, false},
    {"-p", true, false},
    {"--module-path", true, false},
    {"--module-path=", false, false},
    {"--upgrade-module-path", true, false},
    {"--upgrade-module-path=", false, false},
    {"--add-modules", true, false},
    {"--add-modules=", false, true},
    {"--limit-modules", true, false},
    {"--limit-modules=", false, false},
    {"--add-opens", true, false},
    {"--add-opens=", false, true},
    {"--add-exports", true, false},
    {"--add-exports=", false, true},
    {"--add-reads", true, false},
    {"--add-reads=", false, true},
    {"--patch-module", true, false},
    {"--patch-module=", false, false},
};

}  // namespace

const char* const VM_VARIABLES[3] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"};

const JavaOption* javaOption(std::string_view argument) {
    // None of them is a -D property or an -X option, which make up nearly
    // every line of a large file: those are answered without the table.
    if (argument.size() < 2 || argument[0] != '-' || argument[1] == 'D' || argument[1] == 'X') {
        return nullptr;
    }
    for (const JavaOption& option : OPTIONS) {
        const std::size_t length = std::strlen(option.name);
        const char last = option.name[length - 1];
        if (argument == option.name ||
            ((last == ':' || last == '=') && argument.compare(0, length, option.name) == 0)) {
            return &option;
        }
    }
    return nullptr;
}
