// The checker's classifier, warnings and byte handling, against throwaway
// application directories.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>
#include <nlohmann/json.hpp>

#include "TempDir.h"
#include "core/Check.h"
#include "core/LaunchParse.h"
#include "core/LinesAhead.h"
#include "facts/ExecutableInspection.h"
#include "facts/IniLines.h"
#include "facts/IniSyntax.h"
#include "launcher/IniFormat.h"
#include "report/ExplainFormat.h"
#include "report/JsonWriter.h"
#include "report/TextOutput.h"
#include "util/ByteText.h"

namespace {

namespace fs = boost::filesystem;
using Expected = std::vector<std::pair<std::size_t, std::string>>;

std::string selfExecutable() {
    return fs::read_symlink("/proc/self/exe").native();
}

// ROOT/ws/eclipse/Dashvane (this test program: an ELF file of this
// machine's class) and the application directory ROOT/ws/apps/demo.
class AppDir {
public:
    AppDir() {
        root = fs::canonical(temp.path()).native();
        eclipse = root + "/ws/eclipse";
        app = root + "/ws/apps/demo";
        fs::create_directories(eclipse);
        fs::create_directories(app + "/scripts");
        write(app + "/scripts/init.js", "");
        fs::create_symlink(selfExecutable(), eclipse + "/Dashvane");
    }
    static void write(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        chmod(path.c_str(), mode);
    }
    Facts check(const std::string& ini) const {
        write(app + "/run.ini", ini);
        return inspectApplication(app, "./run");
    }
    Facts checkWithoutIni() const { return inspectApplication(app, "./run"); }

    TempDir temp;
    std::string root, eclipse, app;
};

// The findings about the setup, without the note on whose permissions
// were judged, which depends on who runs the tests.
Expected warningsOf(const Facts& findings) {
    Expected found;
    for (const Finding& warning : findings.found) {
        if (std::string(kindOf(warning.kind).name) != "judged-as-root") {
            found.emplace_back(warning.line, std::string(kindOf(warning.kind).name));
        }
    }
    return found;
}

// The message of the first finding of `kind`, then its notes.
std::string messageOf(const Facts& findings, const std::string& kind) {
    for (const Finding& warning : findings.found) {
        if (std::string(kindOf(warning.kind).name) == kind) {
            return warning.message + '\n' + adviceOf(warning);
        }
    }
    return std::string();
}

// --- The classifier -------------------------------------------------------

TEST(Classifier, TellsWhatEachLineOfTheWorkedExampleDoes) {
    const AppDir dir;
    const Facts found =
        dir.check("; launcher configuration\n-Ddv.webApp=early\nlauncher=" + dir.eclipse +
                  "/Dashvane\nlauncher=/opt/other/runner\n-vmargs\r\n-Xmx1024m\n"
                  "  -Ddv.appInitScript=scripts/init.js\t\n-Ddv.appConfigFile=/etc/runner/app.cfg\n"
                  "-Ddv.appProgramFile = main.prg\n   \n-Ddv.appProgramFile=\n"
                  "-Ddv.appConfigFile=../shared/app.cfg\n-vmargs\nlauncher=/opt/late/runner\n");
    const std::vector<LineEffect> effects = {
        LineEffect::IgnoredInHead,    LineEffect::IgnoredInHead,    LineEffect::LauncherTaken,
        LineEffect::IgnoredInHead,    LineEffect::VmSectionOpened,  LineEffect::Appended,
        LineEffect::PathMadeAbsolute, LineEffect::PathAbsolute,     LineEffect::Appended,
        LineEffect::EmptyIgnored,     LineEffect::PathMadeAbsolute, LineEffect::PathMadeAbsolute,
        LineEffect::Appended,         LineEffect::Appended};
    ASSERT_EQ(found.lines.size(), effects.size());
    std::size_t argument = 3;
    for (const IniLine& line : found.lines) {
        SCOPED_TRACE(line.number);
        EXPECT_EQ(line.effect, effects[line.number - 1]);
        EXPECT_EQ(line.inHead, line.number <= 5);
        // Each element is tied to the line it came from, in the launcher's order.
        if (line.argument != 0) {
            EXPECT_EQ(line.argument, argument++);
            EXPECT_EQ(line.element, found.argv[line.argument]);
        }
    }
    EXPECT_EQ(found.lines[6].element, "-Ddv.appInitScript=" + dir.app + "/scripts/init.js");
    EXPECT_EQ(found.lines[10].element, "-Ddv.appProgramFile=" + dir.app);
    EXPECT_EQ(found.launcherLine, 3u);
    EXPECT_EQ(found.defaultNameArgument, 11u);
    EXPECT_EQ(found.argv.at(11), "-Ddv.webApp=demo");
    EXPECT_EQ(found.argv.size(), 12u);
}

TEST(Classifier, AnApplicationNameInTheVmSectionSuppressesTheDefault) {
    const AppDir dir;
    const Facts found = dir.check("-vmargs\n-Ddv.webApp\n");
    EXPECT_EQ(found.lines[1].effect, LineEffect::NameSuppressed);
    EXPECT_EQ(found.defaultNameArgument, 0u);
    EXPECT_EQ(found.argv.back(), "-Ddv.webApp");
}

TEST(Classifier, TellsEachVmLineApartAsTheLauncherDoes) {
    // Lines about the start the launcher's own keys share, on both sides of it.
    // One row a line, the first of them empty.
    std::istringstream rows(
        "\n-\n-D\n-Ddv\n-Ddv.\n-Ddv.=x\n-Ddv.web\n-Ddv.webApp\n-Ddv.webApp=\n-Ddv.webApp=a=b\n"
        "-Ddv.webAppX=1\n-DDV.webApp=x\n-Ddw.webApp=x\n=-Ddv.webApp\n-Ddv.appInitScript=s.js\n"
        "-Ddv.appInitScript\n-Ddv.appConfigFile=/etc/c\n-Ddv.appProgramFile=p\n"
        "-Ddv.appProgramFil=p\n-Ddv.appConfigFile2=c\n-Dcom.example.p=1\n-Xmx1g\n");
    std::string row;
    while (std::getline(rows, row)) {
        SCOPED_TRACE(row);
        IniClassifier classifier(3);
        IniLine line;
        const std::string vmargs = "-vmargs";
        classifier.next(IniFormat::charsOf(vmargs), line);
        classifier.next(IniFormat::charsOf(row), line);
        switch (IniFormat::vmKindOf(row)) {
            case IniFormat::VmKind::WebApp:
                EXPECT_EQ(line.effect, LineEffect::NameSuppressed);
                break;
            case IniFormat::VmKind::PathProperty:
                EXPECT_TRUE(line.effect == LineEffect::PathMadeAbsolute ||
                            line.effect == LineEffect::PathAbsolute);
                break;
            case IniFormat::VmKind::Empty:
                EXPECT_EQ(line.effect, LineEffect::EmptyIgnored);
                break;
            case IniFormat::VmKind::Plain:
                EXPECT_EQ(line.effect, LineEffect::Appended);
                break;
        }
    }
}

TEST(Classifier, AFileOfAMegabyteAndMoreIsReadBesideTheLaunchersParse) {
    // Large enough for the launcher's parse, and the rules of the vector
    // alone, to run on threads of their own: the lines and their elements
    // still agree one for one, and the findings of a line come in the order
    // of the rules.
    const AppDir dir;
    std::string ini = "-vmargs\n";
    const std::size_t properties = 60000;
    for (std::size_t i = 0; i < properties; ++i) {
        ini += "-Dcom.example.p" + std::to_string(i) + "=value\n";
    }
    ini +=
        "-Dcom.example.p7=" + std::string(131072, 'v') + "\n-Ddv.appInitScript=scripts/init.js\n";
    ASSERT_GE(ini.size(), std::size_t{1} << 20);
    const Facts found = dir.check(ini);
    // Whether all of them pass the kernel depends on the stack limit.
    Expected ofLines = warningsOf(found);
    ofLines.erase(
        std::remove(ofLines.begin(), ofLines.end(), Expected::value_type{0, "arguments-too-long"}),
        ofLines.end());
    EXPECT_EQ(ofLines, (Expected{{properties + 2, "duplicate-property"},
                                 {properties + 2, "argument-too-long"}}));
    // The same two findings in a short file, judged without threads.
    const AppDir few;
    EXPECT_EQ(warningsOf(few.check("-vmargs\n-Dcom.example.p7=value\n-Dcom.example.p7=" +
                                   std::string(131072, 'v') + "\n")),
              (Expected{{3, "duplicate-property"}, {3, "argument-too-long"}}));
    // The executable, the two seed arguments, the lines and the default name.
    ASSERT_EQ(found.argv.size(), 1 + 2 + properties + 2 + 1);
    std::size_t argument = 3;
    for (const IniLine& line : found.lines) {
        if (line.argument != 0) {
            ASSERT_EQ(line.argument, argument++);
            ASSERT_EQ(line.element, found.argv[line.argument]);
        }
    }
    EXPECT_EQ(found.argv[properties + 4], "-Ddv.appInitScript=" + dir.app + "/scripts/init.js");
}

TEST(Classifier, LinesJudgedOnAThreadOfTheirOwnKeepTheOrder) {
    // Enough lines below -vmargs, a finding on most, that without lines
    // shown the lines are judged beside the launch and their findings wait
    // to be taken: they come in the order in which a reading that shows each
    // line sends them, each after its own line and before the next.
    const AppDir dir;
    std::string ini = "-vmargs\n";
    Expected expected;
    for (std::size_t i = 0; i < 8000; ++i) {
        const std::size_t first = 2 + 3 * i;
        ini += "-Dcom.example.p" + std::to_string(i) + '=' + std::string(80, 'v') +
               "\n# note\n-Ddv.appInitScript=scripts/none" + std::to_string(i % 2) + ".js\n";
        expected.emplace_back(first + 1, "comment-in-vm-section");
        expected.emplace_back(first + 2, "missing-path");
        if (i % 2 == 1) {
            expected.emplace_back(first + 2, "duplicate-property");
        }
    }
    ASSERT_GE(ini.size(), std::size_t{1} << 20);
    AppDir::write(dir.app + "/run.ini", ini);
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "lines shown" : "findings alone");
        Expected found;
        std::size_t lastLine = 0;
        std::size_t misplaced = 0;
        CheckSink sink;
        if (shown) {
            sink.line = [&lastLine](const Facts&, const IniLine& line) { lastLine = line.number; };
        }
        sink.finding = [&](const Facts&, const Finding& finding) {
            const std::string kind = kindOf(finding.kind).name;
            if (kind != "judged-as-root" && kind != "arguments-too-long") {
                found.emplace_back(finding.line, kind);
                misplaced += shown && finding.line != lastLine ? 1 : 0;
            }
        };
        CheckRequest request;
        request.workingDir = dir.app;
        checkApplication(request, sink);
        EXPECT_TRUE(found == expected)
            << found.size() << " findings, " << expected.size() << " expected";
        EXPECT_EQ(misplaced, 0u);
    }
}

TEST(Classifier, LinesJudgedBeforeTheLaunchIsKnownSayWhatAPlainReadingSays) {
    // The lines' own judgement may begin while the launcher's options are
    // built. Most lines need nothing of them; the last ones quote their
    // element (up to a NUL byte, a path made absolute) or say whether the
    // launcher adds the default name, which the last line may give itself.
    const AppDir dir;
    std::string ini = "-vmargs\n";
    for (std::size_t i = 0; i < 20000; ++i) {
        ini += "-Dcom.example.p" + std::to_string(i) + '=' + std::string(60, 'v') + '\n';
    }
    ini += "-Ddv.WebApp=x\n" + std::string("-Dnul=a\0b\n", 10) +
           "-Ddv.appInitScript=scripts/none.js\n";
    for (const std::string named : {"", "-Ddv.webApp=demo\n"}) {
        AppDir::write(dir.app + "/run.ini", ini + named);
        std::vector<std::string> said[2];
        for (const bool shown : {true, false}) {
            CheckSink sink;
            if (shown) {
                sink.line = [](const Facts&, const IniLine&) {};
            }
            sink.finding = [&said, shown](const Facts&, const Finding& finding) {
                said[shown].push_back(std::to_string(finding.line) + ' ' +
                                      kindOf(finding.kind).name + ": " + finding.message + "; " +
                                      finding.advice);
            };
            CheckRequest request;
            request.workingDir = dir.app;
            checkApplication(request, sink);
        }
        EXPECT_EQ(said[false], said[true]);
        const std::vector<std::string> last(
            said[true].end() - std::min(said[true].size(), std::size_t{3}), said[true].end());
        ASSERT_EQ(last.size(), 3u);
        EXPECT_EQ(last[0].find("letter-case: ") != std::string::npos &&
                      last[0].find("the default") == std::string::npos,
                  !named.empty())
            << last[0];
        EXPECT_NE(last[1].find("nul-byte: NUL byte: the argument ends before it, as \"-Dnul=a\""),
                  std::string::npos)
            << last[1];
        EXPECT_NE(last[2].find("missing-path: -Ddv.appInitScript names \"" + dir.app +
                               "/scripts/none.js\""),
                  std::string::npos)
            << last[2];
    }
}

// The hand-over between the thread that judges lines and the check: in
// order past its bound, every finding before a failure and then the
// failure, and a judgement left while it waits for room.
TEST(LinesAhead, HandsOverInOrderThenTheFailureAndStopsWhenLeft) {
    const auto judge = [](std::size_t lines, bool fail) {
        return [lines, fail](LinesAhead& out) {
            for (std::size_t line = 1; line <= lines; ++line) {
                out.add(line, Finding{line, KindId::DuplicateProperty, "m", std::string()});
                out.judged();
            }
            if (fail) {
                throw std::runtime_error("cut short");
            }
        };
    };
    for (const bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failing" : "whole");
        LinesAhead ahead(judge(20000, fail));
        std::size_t next = 1;
        bool threw = false;
        try {
            for (bool last = false; !last;) {
                const LinesAhead::Batch batch = ahead.take();
                for (const LinesAhead::Judged& judged : batch.found) {
                    ASSERT_EQ(judged.at, next);
                    ASSERT_EQ(judged.finding.line, next++);
                }
                last = batch.last;
            }
        } catch (const std::runtime_error&) {
            threw = true;
        }
        EXPECT_EQ(next, 20001u);
        EXPECT_EQ(threw, fail);
    }
    LinesAhead left(judge(100000, false));
    EXPECT_FALSE(left.take().found.empty());
    // A judgement that waits for the launch goes on once it is known, and
    // ends where the check is left before.
    const auto afterLaunch = [](LinesAhead& out) {
        out.awaitOpen();
        out.add(1, Finding{1, KindId::NulByte, "m", std::string()});
    };
    LinesAhead opened(afterLaunch);
    opened.open();
    EXPECT_EQ(opened.take().found.size(), 1u);
    const LinesAhead neverOpened(afterLaunch);
}

TEST(Classifier, StepsEachLineInEachStateAsTheLauncherDoes) {
    const std::string rows[] = {"",           "l",          "launcher",         "launcher=/x",
                                "launcher =", "launcherX=", "Launcher=/x",      "-vmargs",
                                "-VMARGS",    "-vmargs x",  "launcher=-vmargs", "-Dlauncher=1",
                                "-vmargz",    "launche",    "-Xmx1gb"};
    for (const IniFormat::State start :
         {IniFormat::State::Searching, IniFormat::State::LauncherTaken,
          IniFormat::State::VmSection}) {
        for (const std::string& row : rows) {
            SCOPED_TRACE(row + " in state " + std::to_string(static_cast<int>(start)));
            IniFormat::State theirs = start;
            IniFormat::State ours = start;
            EXPECT_EQ(stepOf(ours, IniFormat::charsOf(row)),
                      IniFormat::step(theirs, IniFormat::charsOf(row)));
            EXPECT_EQ(ours, theirs);
        }
    }
}

TEST(LaunchParse, TellsWhetherEveryLineIsShortEnoughToReadBesideIt) {
    const TempDir dir;
    const std::size_t chunk = std::size_t{1} << 20;  // what it reads at a time
    // Lines on both sides of the limit, the last without its newline, and one
    // that goes on over the end of a chunk.
    const std::string across = std::string(chunk - 2, 'x') + "\n" + std::string(chunk + 5, 'y');
    const struct {
        std::string bytes;
        std::size_t limit;
        bool within;
    } rows[] = {
        {"", 0, true},
        {"\n\n", 0, true},
        {"abc", 3, true},
        {"abc", 2, false},
        {"ab\nabc\n", 3, true},
        {"ab\nabc\n", 2, false},
        {"abcd\nab\n", 3, false},
        // The longest line between the first newline and the last.
        {"a\nb\nabcd\nc\n", 3, false},
        {"a\nb\nabcd\nc\n", 4, true},
        {across, chunk + 5, true},
        {across + "\n", chunk + 4, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes.substr(0, 12) + " within " + std::to_string(row.limit));
        EXPECT_EQ(LaunchParse::linesAtMost(dir.write("run.ini", row.bytes), row.limit), row.within);
    }
    EXPECT_FALSE(LaunchParse::linesAtMost(dir.path() + "/missing.ini", 100));
}

TEST(LaunchParse, TellsWhetherTheVectorIsWhatTheLinesRead) {
    // Behind the two seeds; one line below -vmargs, the application "demo".
    const struct {
        std::vector<std::string> rest;
        bool nameGiven;
        std::size_t commandLine;
        bool agrees;
    } rows[] = {
        {{"-Xa", "-Ddv.webApp=demo", "-clean"}, false, 1, true},
        {{"-Ddv.webApp=other"}, true, 0, true},
        // A line fewer or more than the scan read, or a line naming the
        // application that it did not read.
        {{"-Ddv.webApp=demo"}, false, 0, false},
        {{"-Xa", "-Xb", "-Ddv.webApp=demo"}, false, 0, false},
        {{"-Xa", "-Ddv.webApp=other"}, false, 0, false},
        // What a failed reading leaves: the seeds alone.
        {{}, false, 0, false},
    };
    for (const auto& row : rows) {
        std::vector<std::string> all = {"--launcher.appendVmargs", "-vmargs"};
        all.insert(all.end(), row.rest.begin(), row.rest.end());
        SCOPED_TRACE(all.back());
        EXPECT_EQ(LaunchParse::vectorAgrees(all, 1, row.nameGiven, row.commandLine, "demo"),
                  row.agrees);
    }
}

TEST(LaunchParse, IsTakenOverOnceAndOnlyByACheckThatReadsTheSame) {
    const AppDir dir;
    std::string ini = "-vmargs\n";
    while (ini.size() < (std::size_t{1} << 20)) {
        ini += "-Dcom.example.p=" + std::string(100, 'v') + "\n";
    }
    AppDir::write(dir.app + "/run.ini", ini);
    const auto request = [&dir](const std::string& argument) {
        CheckRequest asked;
        asked.workingDir = dir.app;
        asked.arguments = {argument};
        return asked;
    };
    // The first line's element and the last, the command line's.
    const auto elements = [](const CheckRequest& asked) {
        std::string ends;
        CheckSink sink;
        sink.end = [&ends](const Facts&, const LaunchVector& argv) {
            ends = argv.at(3).substr(0, 16) + " " + argv.at(argv.size() - 1);
        };
        checkApplication(asked, sink);
        return ends;
    };
    // Begun for one argument, checked with it and with another.
    for (const std::string checked : {"-first", "-second"}) {
        CheckRequest asked = request(checked);
        asked.parsedAhead = parseAhead(request("-first"));
        ASSERT_TRUE(asked.parsedAhead);
        EXPECT_EQ(elements(asked), "-Dcom.example.p= " + checked);
        // Handed over or let go: a second check reads for itself.
        EXPECT_EQ(elements(asked), "-Dcom.example.p= " + checked);
    }
    // Replaced once the parse is done, by a file of as many lines.
    CheckRequest asked = request("-first");
    asked.parsedAhead = parseAhead(request("-first"));
    asked.parsedAhead->wait();
    std::string replaced = ini;
    replaced.replace(8, 16, "-Dcom.example.q=");
    AppDir::write(dir.app + "/new.ini", replaced);
    ASSERT_EQ(std::rename((dir.app + "/new.ini").c_str(), (dir.app + "/run.ini").c_str()), 0);
    EXPECT_EQ(elements(asked), "-Dcom.example.q= -first");
    // Any input that differs is another launch.
    const LaunchParse::Inputs base{dir.app + "/run.ini", "Dashvane", dir.app,
                                   dir.eclipse,          false,      {}};
    const std::vector<std::function<void(LaunchParse::Inputs&)>> changes = {
        [](LaunchParse::Inputs& in) { in.iniFile += ".other"; },
        [](LaunchParse::Inputs& in) { in.executableName = "Other"; },
        [](LaunchParse::Inputs& in) { in.workingDir = "/"; },
        [](LaunchParse::Inputs& in) { in.startDir = "/"; },
        [](LaunchParse::Inputs& in) { in.needQuotes = true; },
        [](LaunchParse::Inputs& in) { in.arguments = {"-a"}; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        LaunchParse ahead(base);
        LaunchParse::Inputs other = base;
        changes[i](other);
        EXPECT_FALSE(ahead.handOver(other));
        EXPECT_FALSE(ahead.handOver(base));
    }
    LaunchParse ahead(base);
    EXPECT_TRUE(ahead.handOver(base));
    EXPECT_FALSE(ahead.handOver(base));
}

// --- Warnings, one case per sharp edge -------------------------------------

struct SharpEdge {
    const char* name;
    std::string ini;
    Expected warnings;
};

void PrintTo(const SharpEdge& edge, std::ostream* out) {
    *out << edge.name;
}

class Warnings : public ::testing::TestWithParam<SharpEdge> {};

TEST_P(Warnings, NameTheMistakeAndItsLine) {
    const AppDir dir;
    EXPECT_EQ(warningsOf(dir.check(GetParam().ini)), GetParam().warnings);
}

const std::string LAUNCHER = "launcher=Dashvane\n";

INSTANTIATE_TEST_SUITE_P(
    SharpEdges, Warnings,
    ::testing::Values(
        SharpEdge{"Clean",
                  "launcher=../eclipse/Dashvane\n-vmargs\n-Xmx1g\n"
                  "-Ddv.appInitScript=scripts/init.js\n-Ddv.webApp=x\n-Da=1\n-Da=1\n",
                  {}},
        SharpEdge{"BlanksAroundLauncherKey", "launcher = /x\n", {{1, "blanks-around-equals"}}},
        SharpEdge{"BlanksAroundPathKey",
                  "-vmargs\n-Ddv.appProgramFile = main.prg\n",
                  {{2, "blanks-around-equals"}}},
        SharpEdge{
            "BlanksAroundNameKey", "-vmargs\n-Ddv.webApp =x\n", {{2, "blanks-around-equals"}}},
        SharpEdge{"BlankAfterEqualsInPath",
                  "-vmargs\n-Ddv.appInitScript= scripts/init.js\n",
                  {{2, "blanks-around-equals"}}},
        SharpEdge{"CapitalLauncher", "Launcher=/x\n", {{1, "letter-case"}}},
        SharpEdge{"CapitalVmargs", "-VMARGS\n", {{1, "letter-case"}}},
        SharpEdge{"CapitalPathKey",
                  "-vmargs\n-Ddv.appinitscript=scripts/init.js\n",
                  {{2, "letter-case"}}},
        // One root cause, one finding: nothing on the lines it pushes into the head.
        SharpEdge{"ByteOrderMark", "\xEF\xBB\xBF-vmargs\n-Xa\n", {{1, "byte-order-mark"}}},
        SharpEdge{"CarriageReturnLineEnds", "-vmargs\r-Xa\r", {{1, "carriage-return"}}},
        SharpEdge{"CapitalVmargsBeforeArguments", "-VMARGS\n-Xa\n-Db=1\n", {{1, "letter-case"}}},
        SharpEdge{
            "NoVmargsLine", "# demo\n-Xmx1g\n-Da=1\n-Ddv.webApp=x\n", {{2, "missing-vmargs"}}},
        // -data is no VM argument: -vmargs belongs below it, as --fix puts it.
        SharpEdge{"NoVmargsBelowAProgramOption",
                  "-data\n-Xmx1g\n",
                  {{1, "argument-in-head"}, {2, "missing-vmargs"}}},
        SharpEdge{"Utf16LittleEndianWithMark",
                  std::string("\xFF\xFE-\0v\0m\0a\0r\0g\0s\0\n\0", 18),
                  {{0, "wide-encoding"}}},
        SharpEdge{"Utf16BigEndianWithoutMark",
                  std::string("\0-\0v\0m\0a\0r\0g\0s\0\n", 16),
                  {{0, "wide-encoding"}}},
        SharpEdge{"Utf32LittleEndian",
                  std::string("-\0\0\0v\0\0\0m\0\0\0\n\0\0\0", 16),
                  {{0, "wide-encoding"}}},
        SharpEdge{"PathNamesADirectory",
                  "-vmargs\n-Ddv.appConfigFile=scripts\n-Ddv.appInitScript=/\n",
                  {{2, "path-is-directory"}, {3, "path-is-directory"}}},
        SharpEdge{"BareApplicationName", "-vmargs\n-Ddv.webApp\n", {{2, "empty-application-name"}}},
        SharpEdge{"SecondLauncherLine", LAUNCHER + "launcher=/x\n", {{2, "second-launcher"}}},
        SharpEdge{"LauncherAfterVmargs", "-vmargs\nlauncher=/x\n", {{2, "launcher-in-vm-section"}}},
        SharpEdge{"NameInTheHead", "-Ddv.webApp=x\n-vmargs\n", {{1, "name-in-head"}}},
        SharpEdge{"ArgumentInTheHead", "-Xmx1g\n-vmargs\n", {{1, "argument-in-head"}}},
        SharpEdge{"SecondVmargs", "-vmargs\n-vmargs\n", {{2, "vmargs-in-vm-section"}}},
        SharpEdge{"CommentInVmSection", "-vmargs\n; note\n", {{2, "comment-in-vm-section"}}},
        SharpEdge{"NoBreakSpace", "-vmargs\n-Xa\xC2\xA0\n", {{2, "no-break-space"}}},
        SharpEdge{"NulByte", std::string("-vmargs\n-Da\0b\n", 14), {{2, "nul-byte"}}},
        SharpEdge{"ControlByte", "-vmargs\n-Da\x01\n", {{2, "control-byte"}}},
        SharpEdge{
            "MissingPathFile", "-vmargs\n-Ddv.appConfigFile=app.cfg\n", {{2, "missing-path"}}},
        SharpEdge{"EmptyPathValue", "-vmargs\n-Ddv.appConfigFile=\n", {{2, "empty-path"}}},
        SharpEdge{
            "DuplicateWithOtherValue", "-vmargs\n-Da=1\n-Db\n-Da=2\n", {{4, "duplicate-property"}}},
        SharpEdge{
            "MissingExecutable", "launcher=/nonexistent/runner\n", {{1, "executable-missing"}}},
        SharpEdge{"MissingExecutableBelowComments",
                  "# a\n# b\nlauncher=/nonexistent/runner\n",
                  {{3, "executable-missing"}}},
        SharpEdge{"EmptyExecutable", "launcher=\n", {{1, "executable-missing"}}},
        SharpEdge{"DirectoryAsExecutable", "launcher=/\n", {{1, "executable-not-executable"}}}),
    [](const ::testing::TestParamInfo<SharpEdge>& info) { return info.param.name; });

// The default name is said to be added only where the launcher adds it.
// One rule for every kind: an error where the child loses what the file
// plainly asks for, a note where the case harms nothing.
TEST(Warnings, SeverityFollowsWhatTheCaseLoses) {
    const struct {
        const char* name;
        std::string ini;
        std::size_t line;
        const char* kind;
        Severity severity;
    } rows[] = {
        {"mark before the only -vmargs", "\xEF\xBB\xBF-vmargs\n-Xa\n", 1, "byte-order-mark",
         Severity::Error},
        {"mark before -vmargs, a later one opens the section",
         "\xEF\xBB\xBF-vmargs\n-vmargs\n-Xa\n", 1, "byte-order-mark", Severity::Error},
        {"mark before the launcher line", "\xEF\xBB\xBFlauncher=/x\n-vmargs\n", 1,
         "byte-order-mark", Severity::Error},
        {"mark before a head comment", "\xEF\xBB\xBF# demo\n-vmargs\n-Xa\n", 1, "byte-order-mark",
         Severity::Note},
        {"-VMARGS with no -vmargs", "-VMARGS\n-Xa\n", 1, "letter-case", Severity::Error},
        {"-VMARGS before -vmargs", "-VMARGS\n-vmargs\n-Xa\n", 1, "letter-case", Severity::Warning},
        {"UTF-16", std::string("\xFF\xFE-\0v\0m\0a\0r\0g\0s\0\n\0", 18), 0, "wide-encoding",
         Severity::Error},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const AppDir dir;
        const Facts facts = dir.check(row.ini);
        bool found = false;
        for (const Finding& finding : facts.found) {
            if (std::string(kindOf(finding.kind).name) == row.kind && finding.line == row.line) {
                found = true;
                EXPECT_EQ(severityName(severityOf(finding)),
                          std::string(severityName(row.severity)));
            }
        }
        EXPECT_TRUE(found) << row.kind;
    }
}

TEST(Warnings, DefaultNameIsMentionedOnlyWhereTheLauncherAddsIt) {
    const AppDir dir;
    // The last line may name the application just as the default would.
    for (const std::string named : {"", "-Ddv.webApp=y\n", "-Ddv.webApp=demo\n"}) {
        const Facts found = dir.check("-Ddv.webApp=x\n-vmargs\n-Ddv.WebApp=x\n" + named);
        for (const char* kind : {"letter-case", "name-in-head"}) {
            const std::string message = messageOf(found, kind);
            EXPECT_EQ(message.find("the default") == std::string::npos, !named.empty()) << message;
        }
    }
}

TEST(Warnings, ArgumentOfTheKernelsLimitIsTooLongOneByteLessIsNot) {
    const AppDir dir;
    // The limit counts the terminating NUL.
    const std::string fits(131071 - 3, 'x');
    EXPECT_EQ(warningsOf(dir.check("-vmargs\n-Dv" + fits + "\n")), Expected{});
    const Facts found = dir.check("-vmargs\n-Dv" + fits + "y\n");
    ASSERT_EQ(warningsOf(found), (Expected{{2, "argument-too-long"}}));
    EXPECT_NE(messageOf(found, "argument-too-long").find("argument 3 (line 2) is 131072 bytes"),
              std::string::npos);
}

TEST(Warnings, ArgumentsAboveTheSystemLimitTogether) {
    const long limit = sysconf(_SC_ARG_MAX);
    if (limit <= 0 || limit > 64L * 1024 * 1024) {
        GTEST_SKIP() << "no usable limit: " << limit;
    }
    const AppDir dir;
    std::string ini = "-vmargs\n";
    const std::string element(100000, 'x');
    for (long total = 0; total <= limit; total += static_cast<long>(element.size())) {
        ini += element + "\n";
    }
    ini += "-D" + element + "\n";
    const Facts found = dir.check(ini);
    ASSERT_EQ(warningsOf(found), (Expected{{0, "arguments-too-long"}}));
    const std::size_t lines = found.lines.size();
    EXPECT_NE(messageOf(found, "arguments-too-long")
                  .find("the largest is argument " + std::to_string(lines + 1) + " (line " +
                        std::to_string(lines) + "), 100002 bytes"),
              std::string::npos)
        << messageOf(found, "arguments-too-long");
}

TEST(Warnings, IniFileThatTheLauncherReadsAsEmpty) {
    const AppDir dir;
    EXPECT_EQ(warningsOf(dir.checkWithoutIni()), (Expected{{0, "ini-missing"}}));
    fs::create_directory(dir.app + "/run.ini");
    EXPECT_EQ(warningsOf(dir.checkWithoutIni()), (Expected{{0, "ini-directory"}}));
    fs::remove(dir.app + "/run.ini");
    // A named pipe would block the reader until a writer comes.
    ASSERT_EQ(mkfifo((dir.app + "/run.ini").c_str(), 0644), 0);
    const Facts found = dir.checkWithoutIni();
    EXPECT_EQ(warningsOf(found), (Expected{{0, "ini-not-regular"}}));
    EXPECT_EQ(found.argv.back(), "-Ddv.webApp=demo");
}

TEST(Warnings, ExecutableThatExecvCannotRun) {
    const AppDir dir;
    const std::string runner = dir.eclipse + "/runner";
    const std::string ini = "launcher=runner\n";
    const auto kindsFor = [&](const std::string& bytes, mode_t mode) {
        AppDir::write(runner, bytes, mode);
        return warningsOf(dir.check(ini));
    };
    EXPECT_EQ(kindsFor("#!/bin/sh\n", 0755), Expected{});
    EXPECT_EQ(kindsFor("#!/bin/sh\n", 0644), (Expected{{1, "executable-not-executable"}}));
    EXPECT_EQ(kindsFor("#! /nonexistent/sh -e\n", 0755), (Expected{{1, "interpreter-missing"}}));
    EXPECT_EQ(kindsFor("echo hi\n", 0755), (Expected{{1, "executable-unknown-format"}}));
    std::string otherClass =
        "\x7f"
        "ELF" +
        std::string(12, '\0');
    // An ELF identification alone is a damaged file whatever its class:
    // the kernel finds no program headers in it.
    const Expected damaged = {{1, "executable-damaged"}};
    for (char elfClass : {1, 2, 3}) {
        otherClass[4] = elfClass;
        EXPECT_EQ(kindsFor(otherClass, 0755), damaged);
    }
    // execv runs no named pipe, and the check must not wait for a writer.
    fs::remove(runner);
    ASSERT_EQ(mkfifo(runner.c_str(), 0755), 0);
    EXPECT_EQ(warningsOf(dir.check(ini)), (Expected{{1, "executable-not-executable"}}));
    fs::remove_all(dir.eclipse);
    EXPECT_EQ(warningsOf(dir.check(ini)), (Expected{{0, "start-directory"}}));
}

// --- Bytes that are not text -------------------------------------------------

TEST(ByteText, MakesInvisibleAndInvalidBytesVisible) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBF-vmargs", "\\u{FEFF}-vmargs"},
        {"a\xC2\xA0=b", "a\\u{00A0}=b"},
        {"\t\r\v\f\n", "\\t\\r\\v\\f\\n"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
        {"\\\"", "\\\\\\\""},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xff\xfe", "\\xff\\xfe"},
        {"\xC0\x80", "\\xc0\\x80"},                    // overlong NUL
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
        {"\xE2\x82", "\\xe2\\x82"},                    // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        EXPECT_EQ(ByteText::visible(c.first), c.second);
        EXPECT_TRUE(ByteText::isValidUtf8(ByteText::visible(c.first)));
    }
}

// Plain text is passed over eight bytes at a time: a byte on either side of
// each class's edge, anywhere in or across a word, is still told apart.
TEST(ByteText, EveryByteAtEveryPlaceOfAWord) {
    struct Edge {
        char byte;
        std::string shown;
        bool endsJsonRun;  // JSON must escape it
        bool utf8;         // alone among ASCII, still valid UTF-8
    };
    const Edge edges[] = {
        {'\0', "\\x00", true, true},     {'\x1f', "\\x1f", true, true},
        {' ', " ", false, true},         {'!', "!", false, true},
        {'"', "\\\"", true, true},       {'[', "[", false, true},
        {'\\', "\\\\", true, true},      {']', "]", false, true},
        {'~', "~", false, true},         {'\x7f', "\\x7f", false, true},
        {'\x80', "\\x80", false, false}, {'\xff', "\\xff", false, false},
    };
    for (const Edge& edge : edges) {
        for (std::size_t at = 0; at < 17; ++at) {
            SCOPED_TRACE(edge.shown + " at " + std::to_string(at));
            std::string text(17, 'a');
            text[at] = edge.byte;
            EXPECT_EQ(ByteText::visible(text),
                      std::string(at, 'a') + edge.shown + std::string(16 - at, 'a'));
            EXPECT_EQ(ByteText::isValidUtf8(text), edge.utf8);
            EXPECT_EQ(ByteText::isVisible(text), edge.shown.size() == 1);
            EXPECT_EQ(ByteText::jsonPlainEnd(text, 0), edge.endsJsonRun ? at : 17u);
            EXPECT_EQ(ByteText::jsonPlainEnd(text, at + 1), 17u);
        }
    }
}

// A line as long as the file is shown in pieces: no piece may cut a
// character or an invalid sequence, wherever it falls.
TEST(ByteText, LongLineShownInPiecesAsWhole) {
    const std::size_t piece = 64 * 1024;
    const std::string cuts[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",      "\xEF\xBB\xBF",
                                "\xE2\x82", "\xC2\xA0",     std::string("\0\x01", 2)};
    for (const std::string& cut : cuts) {
        for (std::size_t before = 1; before <= 4; ++before) {
            SCOPED_TRACE(ByteText::visible(cut) + " at " + std::to_string(before));
            const std::string line = std::string(piece - before, 'a') + cut + "b";
            std::ostringstream shown;
            shown << TextOutput::Quoted{line};
            EXPECT_EQ(shown.str(), TextOutput::quoted(line));
        }
    }
    std::string wide;
    for (std::size_t i = 0; i < piece; ++i) {
        wide += "\xC3\xA9";
    }
    std::ostringstream shown;
    shown << TextOutput::Quoted{wide};
    EXPECT_EQ(shown.str(), TextOutput::quoted(wide));
}

// Words of 8 bytes are searched whole: every byte value, at either edge of a
// word and in the last bytes, which no whole word holds, among neighbours
// that are not unusual themselves (high bytes, the space just above the
// control bytes, DEL's neighbour).
TEST(IniSyntax, UnusualByteFoundAnywhereInALongLine) {
    for (const char filler : {'a', ' ', '\x80', '\xff', '\xC3', '\x7e', '\x81'}) {
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<unsigned char>(value);
            const bool unusual = byte < 0x20 || byte == 0x7F || byte == 0xC2;
            for (const std::size_t at : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 199, 200, 202}) {
                std::string line(203, filler);
                line[at] = static_cast<char>(byte);
                EXPECT_EQ(IniSyntax::hasUnusualByte(line), unusual)
                    << at << ' ' << value << ' ' << int(filler);
                EXPECT_FALSE(IniSyntax::hasUnusualByte(std::string_view(line).substr(0, at)));
            }
        }
    }
    // Lines shorter than a word, and of every length up to two words.
    for (std::size_t length = 1; length <= 17; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int value = 0; value < 256; ++value) {
                const auto byte = static_cast<unsigned char>(value);
                std::string line(length, 'a');
                line[at] = static_cast<char>(byte);
                EXPECT_EQ(IniSyntax::hasUnusualByte(line),
                          byte < 0x20 || byte == 0x7F || byte == 0xC2)
                    << length << ' ' << at << ' ' << value;
            }
        }
    }
}

TEST(ByteText, JsonKeepsEveryByteOfInvalidUtf8) {
    const std::string bad = "-D\xff\xC0\x80\xED\xA0\x80=\xF4\x90\x80\x80";
    std::ostringstream text;
    JsonWriter json(text, false);
    json.beginArray();
    json.bytes(bad);
    json.bytes("caf\xC3\xA9\n\x01\"\\");
    json.endArray();
    const nlohmann::json parsed = nlohmann::json::parse(text.str());
    EXPECT_EQ(parsed[0]["hex"], "2d44ffc080eda0803df4908080");
    EXPECT_EQ(parsed[0]["display"], "-D\\xff\\xc0\\x80\\xed\\xa0\\x80=\\xf4\\x90\\x80\\x80");
    EXPECT_EQ(parsed[1], "caf\xC3\xA9\n\x01\"\\");
}

// Both writers gather small pieces and hand long ones on directly: whatever
// the sizes around the buffer's, nothing is lost, doubled or reordered.
TEST(BufferedOutput, KeepsEveryPieceInOrder) {
    const std::size_t buffer = 64 * 1024;
    const std::size_t sizes[] = {0, 1, buffer - 2, buffer - 1, buffer, buffer + 1, 3 * buffer};
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string big(size, 'b');
        const std::string odd = std::string(size, 'c') + "\x01\"";
        std::ostringstream json;
        {
            JsonWriter writer(json, false);
            writer.beginArray();
            for (std::size_t i = 0; i < 3000; ++i) {
                writer.number(i);
            }
            writer.bytes(big);
            writer.bytes(odd);
            writer.number(7);
            writer.endArray();
        }
        const nlohmann::json parsed = nlohmann::json::parse(json.str());
        ASSERT_EQ(parsed.size(), 3003u);
        EXPECT_EQ(parsed[2999], 2999);
        EXPECT_EQ(parsed[3000], big);
        EXPECT_EQ(parsed[3001], odd);
        EXPECT_EQ(parsed[3002], 7);

        std::ostringstream direct;
        std::ostringstream gathered;
        {
            TextOutput::Buffered out(gathered);
            for (std::size_t i = 0; i < 3000; ++i) {
                out << i << ' ';
                direct << i << ' ';
            }
            out << std::string_view(big) << '|' << TextOutput::Quoted{odd} << '|'
                << TextOutput::Quoted{big} << 42u;
            direct << big << '|' << TextOutput::quoted(odd) << '|' << TextOutput::quoted(big)
                   << 42u;
        }
        EXPECT_TRUE(gathered.str() == direct.str());
    }
}

// The explanation gathers its lines across lines: whatever else it writes
// comes after the lines gathered before it.
TEST(ExplainFormat, WritesTheLinesItGatheredBeforeAnythingElse) {
    const Tally tally;
    const Facts facts;
    IniLine line;
    line.number = 7;
    line.raw = "gathered-line";
    const Finding finding{7, KindId::DuplicateProperty, "the finding", std::string()};
    const std::string file = "run.ini";
    const std::string advice;
    const std::string command = "/x/Dashvane";
    const std::vector<std::string> rest;
    const std::vector<std::uint32_t> lines;
    const LaunchVector argv{command, rest, lines, 0};
    const struct {
        const char* event;
        std::function<void(const Formatter&)> write;
        const char* written;
    } rows[] = {
        {"finding",
         [&](const Formatter& f) {
             f.finding(facts, ShownFinding{finding, kindOf(finding.kind), file, advice});
         },
         "the finding"},
        {"end", [&](const Formatter& f) { f.end(facts, argv); }, "Start directory"},
        {"failed", [&](const Formatter& f) { f.failed("other", "no such thing"); },
         "no such thing"},
        {"begin", [&](const Formatter& f) { f.begin("other", facts); }, "Application directory"},
        {"finish", [&](const Formatter& f) { f.finish(); }, " checked"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.event);
        std::ostringstream out;
        const Formatter format = explainFormat(out, FormatOptions(), tally);
        format.line(facts, line);
        row.write(format);
        const std::string text = out.str();
        ASSERT_NE(text.find(row.written), std::string::npos) << text;
        EXPECT_LT(text.find("gathered-line"), text.find(row.written)) << text;
    }
}

}  // namespace
