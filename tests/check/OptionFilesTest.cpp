// Files of VM options split as the java launcher and the VM split them; the
// argument files are compared with the real java launcher's own reading.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "facts/OptionFiles.h"

namespace {

std::vector<std::string> texts(const std::vector<FileOption>& options) {
    std::vector<std::string> out;
    for (const FileOption& option : options) {
        out.push_back(option.text);
    }
    return out;
}

// What the java launcher makes of `@file`, from its own debugging output.
std::vector<std::string> javaReading(const std::string& file) {
    const std::string command =
        "_JAVA_LAUNCHER_DEBUG=1 /usr/bin/java -XX:-UsePerfData @" + file + " -version 2>/dev/null";
    std::vector<std::string> args;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    std::string output;
    while (pipe != nullptr && std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        output += buffer.data();
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    // "argv[N] = TEXT" lines; an argument with a newline spans lines.
    std::size_t at = output.find("argv[2] = ");
    while (at != std::string::npos) {
        at = output.find(" = ", at) + 3;
        const std::size_t next = output.find("\nargv[", at);
        const std::size_t end = next == std::string::npos ? output.find('\n', at) : next;
        args.push_back(output.substr(at, end - at));
        at = next == std::string::npos ? next : next + 1;
    }
    if (!args.empty()) {
        args.pop_back();  // -version
    }
    return args;
}

struct FileRow {
    const char* what;
    std::string text;
    std::vector<std::string> options;
    std::vector<std::size_t> lines;
};

TEST(OptionFiles, ArgumentFilesSplitAsTheJavaLauncherSplitsThem) {
    const std::vector<FileRow> rows = {
        {"blanks and lines", "-Xmx1g  -Xss1m\n\t-Dx=1\n", {"-Xmx1g", "-Xss1m", "-Dx=1"}, {1, 1, 2}},
        {"a comment at a word's start",
         "# heap\n-Xmx1g # trailing\n-Dz=1\n",
         {"-Xmx1g", "-Dz=1"},
         {2, 3}},
        {"a comment drops the word it cuts", "-Dw=0 -Dx=a#b\n-Dy=1\n", {"-Dw=0", "-Dy=1"}, {1, 2}},
        {"after a quoted part, a comment joins the next line",
         "-Dx=\"q\"#b\n-Dy=1\n",
         {"-Dx=q-Dy=1"},
         {1}},
        {"quotes group, in a word too",
         "\"-Dtitle=My shop\" -Dy='c d'\n",
         {"-Dtitle=My shop", "-Dy=c d"},
         {1, 1}},
        {"backslashes escape in quotes only",
         "-Dp=C:\\\\x \"-Dq=a\\tb\\\\c\"\n",
         {"-Dp=C:\\\\x", "-Dq=a\tb\\c"},
         {1, 1}},
        {"a backslash joins lines in quotes",
         "\"-Dlong=ab\\\n    cd\"\n-Dz=1\n",
         {"-Dlong=abcd", "-Dz=1"},
         {1, 3}},
        {"carriage returns are blanks", "-Xmx1g\r\n-Dx=1\r\n", {"-Xmx1g", "-Dx=1"}, {1, 2}},
        {"no expansion inside", "@other\n", {"@other"}, {1}},
    };
    const bool java = access("/usr/bin/java", X_OK) == 0;
    const TempDir dir;
    for (const FileRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<FileOption> options = argumentFileOptions(row.text);
        EXPECT_EQ(texts(options), row.options);
        std::vector<std::size_t> lines;
        for (const FileOption& option : options) {
            lines.push_back(option.line);
        }
        EXPECT_EQ(lines, row.lines);
        // The rows' tabs print as themselves, so the launcher's reading
        // compares unless an argument spans lines.
        if (java) {
            const std::string file = dir.path() + "/row.args";
            std::ofstream(file, std::ios::binary) << row.text;
            EXPECT_EQ(javaReading(file), row.options);
        }
    }
}

TEST(OptionFiles, FlagAndOptionFilesSplitAsTheVmSplitsThem) {
    EXPECT_EQ(texts(flagFileOptions("  +UseSerialGC MaxHeapSize=1g # c\nx#y=1\n\"A B\"\n")),
              (std::vector<std::string>{"-XX:+UseSerialGC", "-XX:MaxHeapSize=1g", "-XX:x#y=1",
                                        "-XX:\"A", "-XX:B\""}));
    EXPECT_EQ(texts(optionFileOptions("-Xmx1g # c\n'-Dt=a b' \"-Dq=x\\\"\n")),
              (std::vector<std::string>{"-Xmx1g", "#", "c", "-Dt=a b", "-Dq=x\\"}));
}

}  // namespace
