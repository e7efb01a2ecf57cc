#include "launcher/ProgramOptions.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "launcher/Options.h"

namespace {

using Args = std::vector<std::string>;

const std::string APP = "/home/ana/apps/demo";
const std::string DEFAULT_LAUNCHER = "/home/ana/eclipse/Dashvane";

struct Built {
    Args args;
    std::string launcher;
    std::string out;
    std::string err;
};

struct Config {
    std::string workingDir = APP;
    std::string eclipseDir = "/home/ana/eclipse";
    std::string executable = "Dashvane";
    bool quotes = false;
    bool diagnostics = false;
    Args commandLine;
};

Built buildFromFile(const std::string& iniFile, const Config& setup = Config()) {
    DVL_DBG_ENABLE = setup.diagnostics;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Built built;
    {
        ProgramOptions options(iniFile, setup.executable, setup.workingDir, setup.eclipseDir,
                               setup.quotes, setup.commandLine);
        built.args = options.GetVMArgs();
        built.launcher = options.GetLauncher();
    }
    built.err = testing::internal::GetCapturedStderr();
    built.out = testing::internal::GetCapturedStdout();
    DVL_DBG_ENABLE = false;
    return built;
}

Built build(const std::string& iniBytes, const Config& setup = Config()) {
    TempDir dir;
    return buildFromFile(dir.write("run.ini", iniBytes), setup);
}

// The ini arguments alone: what follows the two seed arguments.
Args iniArgs(const std::string& iniBytes, const Config& setup = Config()) {
    Args args = build(iniBytes, setup).args;
    EXPECT_GE(args.size(), 2u);
    EXPECT_EQ(args[0], "--launcher.appendVmargs");
    EXPECT_EQ(args[1], "-vmargs");
    return Args(args.begin() + 2, args.end());
}

const std::string WORKED_EXAMPLE =
    "; launcher configuration\n"
    "-Ddv.webApp=early\n"
    "launcher=/opt/tools/runner\n"
    "launcher=/opt/other/runner\n"
    "-vmargs\r\n"
    "-Xmx1024m\n"
    "  -Ddv.appInitScript=scripts/init.js\t\n"
    "-Ddv.appConfigFile=/etc/runner/app.cfg\n"
    "-Ddv.appProgramFile = main.prg\n"
    "   \n"
    "-Ddv.appProgramFile=\n"
    "-Ddv.appConfigFile=../shared/app.cfg\n"
    "-vmargs\n"
    "launcher=/opt/late/runner\n";

TEST(IniFile, WorkedExample) {
    const Built built = build(WORKED_EXAMPLE);
    EXPECT_EQ(built.launcher, "/opt/tools/runner");
    EXPECT_EQ(built.args,
              (Args{"--launcher.appendVmargs", "-vmargs", "-Xmx1024m",
                    "-Ddv.appInitScript=/home/ana/apps/demo/scripts/init.js",
                    "-Ddv.appConfigFile=/etc/runner/app.cfg", "-Ddv.appProgramFile = main.prg",
                    "-Ddv.appProgramFile=/home/ana/apps/demo",
                    "-Ddv.appConfigFile=/home/ana/apps/demo/../shared/app.cfg", "-vmargs",
                    "launcher=/opt/late/runner", "-Ddv.webApp=demo"}));
    EXPECT_EQ(built.out, "");
    EXPECT_EQ(built.err, "");
}

TEST(IniFile, WorkedExampleQuoted) {
    Config setup;
    setup.quotes = true;
    const Built built = build(WORKED_EXAMPLE, setup);
    EXPECT_EQ(built.launcher, "\"/opt/tools/runner\"");
    EXPECT_EQ(built.args,
              (Args{"--launcher.appendVmargs", "-vmargs", "-Xmx1024m",
                    "-Ddv.appInitScript=\"/home/ana/apps/demo/scripts/init.js\"",
                    "-Ddv.appConfigFile=\"/etc/runner/app.cfg\"", "-Ddv.appProgramFile = main.prg",
                    "-Ddv.appProgramFile=\"/home/ana/apps/demo\"",
                    "-Ddv.appConfigFile=\"/home/ana/apps/demo/../shared/app.cfg\"", "-vmargs",
                    "launcher=/opt/late/runner", "-Ddv.webApp=\"demo\""}));
}

TEST(IniFile, OnlyAnExactLauncherKeyInTheHeadReplacesTheExecutable) {
    struct Case {
        const char* ini;
        std::string launcher;
    };
    const Case cases[] = {
        {"launcher=/x\n", "/x"},
        {"  launcher=/x \r\n", "/x"},
        {"launcher=/a=b=c\n", "/a=b=c"},
        {"launcher= /x\n", " /x"},
        {"launcher=relative/runner\n", "relative/runner"},
        {"launcher=\n", ""},
        {"launcher\n", ""},
        {"launcher=/first\nlauncher=/second\n", "/first"},
        {"launcher = /x\n", DEFAULT_LAUNCHER},
        {"launcher =/x\n", DEFAULT_LAUNCHER},
        {"Launcher=/x\n", DEFAULT_LAUNCHER},
        {"\xEF\xBB\xBFlauncher=/x\n", DEFAULT_LAUNCHER},
        {"launchers=/x\n", DEFAULT_LAUNCHER},
        {"-vmargs\nlauncher=/late\n", DEFAULT_LAUNCHER},
        {"", DEFAULT_LAUNCHER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        EXPECT_EQ(build(c.ini).launcher, c.launcher);
    }
    // Once the VM section is open a launcher line is an ordinary argument.
    EXPECT_EQ(iniArgs("-vmargs\nlauncher=/late\n"), (Args{"launcher=/late", "-Ddv.webApp=demo"}));
    EXPECT_EQ(iniArgs("launcher=/x\nlauncher=/y\n-vmargs\nlauncher=/z\n"),
              (Args{"launcher=/z", "-Ddv.webApp=demo"}));
}

TEST(IniFile, OnlyAWholeVmargsLineOpensTheVmSection) {
    const Args opened{"-Xa", "-Ddv.webApp=demo"};
    const Args closed{"-Ddv.webApp=demo"};
    EXPECT_EQ(iniArgs("-vmargs\n-Xa"), opened);  // last line without a line feed
    EXPECT_EQ(iniArgs(" \t-vmargs \t\r\n-Xa\r\n"), opened);
    EXPECT_EQ(iniArgs("-vmargs=1\n-Xa\n"), closed);
    EXPECT_EQ(iniArgs("-VMARGS\n-Xa\n"), closed);
    EXPECT_EQ(iniArgs("--vmargs\n-Xa\n"), closed);
    EXPECT_EQ(iniArgs("\xEF\xBB\xBF-vmargs\n-Xa\n"), closed);
    EXPECT_EQ(iniArgs("-Xhead\n-vmargs\n-Xa\n"), opened);
}

TEST(IniFile, ApplicationNameFromTheVmSectionReplacesTheDefault) {
    EXPECT_EQ(iniArgs("-Ddv.webApp=x\n-vmargs\n-Xa\n"), (Args{"-Xa", "-Ddv.webApp=demo"}));
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webApp=x\n"), (Args{"-Ddv.webApp=x"}));
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webApp\n"), (Args{"-Ddv.webApp"}));
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webApp=a\n-Ddv.webApp=b\n"),
              (Args{"-Ddv.webApp=a", "-Ddv.webApp=b"}));
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webApp =x\n"), (Args{"-Ddv.webApp =x", "-Ddv.webApp=demo"}));
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webAppX=x\n"), (Args{"-Ddv.webAppX=x", "-Ddv.webApp=demo"}));
    Config quoted;
    quoted.quotes = true;
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.webApp=my app\n", quoted), (Args{"-Ddv.webApp=my app"}));
    EXPECT_EQ(iniArgs("", quoted), (Args{"-Ddv.webApp=\"demo\""}));
}

TEST(IniFile, PathPropertiesAreMadeAbsoluteAgainstTheWorkingDirectory) {
    EXPECT_EQ(
        iniArgs("-vmargs\n"
                "-Ddv.appInitScript=a.js\n"
                "-Ddv.appProgramFile=./x/../y.prg\n"
                "-Ddv.appConfigFile=a//b.cfg\n"
                "-Ddv.appInitScript\n"
                "-Ddv.appConfigFile=\n"
                "-Ddv.appProgramFile=\"q.prg\"\n"
                "-Ddv.appInitScript=/abs/i.js\n"
                "-Ddv.appInitScript=a.js=b\n"),
        (Args{"-Ddv.appInitScript=/home/ana/apps/demo/a.js",
              "-Ddv.appProgramFile=/home/ana/apps/demo/./x/../y.prg",
              "-Ddv.appConfigFile=/home/ana/apps/demo/a//b.cfg",
              "-Ddv.appInitScript=/home/ana/apps/demo", "-Ddv.appConfigFile=/home/ana/apps/demo",
              "-Ddv.appProgramFile=/home/ana/apps/demo/\"q.prg\"", "-Ddv.appInitScript=/abs/i.js",
              "-Ddv.appInitScript=/home/ana/apps/demo/a.js=b", "-Ddv.webApp=demo"}));
    // Case and blanks matter: these are ordinary lines.
    EXPECT_EQ(iniArgs("-vmargs\n-Ddv.appinitscript=a.js\n-Ddv.appConfigFile =a.cfg\n"),
              (Args{"-Ddv.appinitscript=a.js", "-Ddv.appConfigFile =a.cfg", "-Ddv.webApp=demo"}));
    // In the head they are ignored.
    EXPECT_EQ(iniArgs("-Ddv.appInitScript=a.js\n"), (Args{"-Ddv.webApp=demo"}));
}

TEST(IniFile, WorkingDirectoryAtTheRoot) {
    Config setup;
    setup.workingDir = "/";
    setup.eclipseDir = "eclipse";
    const Built built = build("-vmargs\n-Ddv.appInitScript=init.js\n-Ddv.appConfigFile=\n", setup);
    EXPECT_EQ(built.launcher, "eclipse/Dashvane");
    EXPECT_EQ(built.args, (Args{"--launcher.appendVmargs", "-vmargs", "-Ddv.appInitScript=/init.js",
                                "-Ddv.appConfigFile=/", "-Ddv.webApp=/"}));
}

TEST(IniFile, TrimmingAndLineEnds) {
    // Lines that are only white space are ignored in both regions.
    EXPECT_EQ(iniArgs(" \t\v\f\r\n-vmargs\n \t\v\f\r\n-Xa\n\n"), (Args{"-Xa", "-Ddv.webApp=demo"}));
    // Carriage returns alone do not end lines: this file is one line.
    EXPECT_EQ(iniArgs("\r-vmargs\r-Xa\r"), (Args{"-Ddv.webApp=demo"}));
    EXPECT_EQ(iniArgs("-vmargs\n\r-Xa\r-Xb\r\n"), (Args{"-Xa\r-Xb", "-Ddv.webApp=demo"}));
    // A UTF-8 no-break space is not white space; inner blanks stay.
    EXPECT_EQ(iniArgs("-vmargs\n\xC2\xA0-Xa\xC2\xA0\n  -Dk=a  b  \n"),
              (Args{"\xC2\xA0-Xa\xC2\xA0", "-Dk=a  b", "-Ddv.webApp=demo"}));
    // There is no comment syntax.
    EXPECT_EQ(iniArgs("-vmargs\n# note\n; note\n[section]\n"),
              (Args{"# note", "; note", "[section]", "-Ddv.webApp=demo"}));
}

TEST(IniFile, BytesPassUnchanged) {
    const std::string longLine = "-Dlong=" + std::string(1 << 20, 'v');
    const std::string binary("-Dbin=\x01\xff\xfe", 9);
    EXPECT_EQ(iniArgs("-vmargs\n" + longLine + "\n" + binary + "\n"),
              (Args{longLine, binary, "-Ddv.webApp=demo"}));
}

TEST(IniFile, MissingFileIsTracedOnlyWithDiagnostics) {
    TempDir dir;
    const std::string missing = dir.path() + "/absent.ini";
    Config setup;
    Built built = buildFromFile(missing, setup);
    EXPECT_EQ(built.out, "");
    EXPECT_EQ(built.args, (Args{"--launcher.appendVmargs", "-vmargs", "-Ddv.webApp=demo"}));
    EXPECT_EQ(built.launcher, DEFAULT_LAUNCHER);

    setup.diagnostics = true;
    built = buildFromFile(missing, setup);
    EXPECT_EQ(built.out, "Unable to properly open and parse file " + missing + "\n");
    EXPECT_EQ(built.args, (Args{"--launcher.appendVmargs", "-vmargs", "-Ddv.webApp=demo"}));

    // A directory opens but yields no lines.
    built = buildFromFile(dir.path(), setup);
    EXPECT_EQ(built.out, "");
    EXPECT_EQ(built.args, (Args{"--launcher.appendVmargs", "-vmargs", "-Ddv.webApp=demo"}));
}

TEST(ProgramOptions, CommandLineArgumentsComeLastAndAreNotExamined) {
    Config setup;
    setup.commandLine = {"-Ddv.webApp=other", "-clean", "-Ddv.appInitScript=init.js", "",
                         "-vmargs"};
    EXPECT_EQ(build("-vmargs\n-Xa\n", setup).args,
              (Args{"--launcher.appendVmargs", "-vmargs", "-Xa", "-Ddv.webApp=demo",
                    "-Ddv.webApp=other", "-clean", "-Ddv.appInitScript=init.js", "", "-vmargs"}));
}

}  // namespace
