#include "facts/OptionFiles.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "util/JavaOptions.h"
#include "util/Text.h"

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The character a backslash in quotes stands for, before `c`.
char escaped(char c) {
    switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case 'f':
            return '\f';
        default:
            return c;
    }
}

// How a kind of file groups its words besides by blanks.
struct Style {
    bool quotes;       // quotes group
    bool comments;     // a "#" that starts a word starts a comment
    bool backslashes;  // in quotes, a backslash escapes or joins lines
};

// Character `i` of `text` inside quotes, added to `word`; `i` and `line`
// move past whatever it takes with it.
void inQuotes(const std::string& text, std::size_t& i, Style style, std::string& word,
              std::size_t& line) {
    const char c = text[i];
    if (!style.backslashes || c != '\\' || i + 1 >= text.size()) {
        line += c == '\n' ? 1 : 0;
        word += c;
        return;
    }
    const char next = text[++i];
    if (next != '\n' && next != '\r') {
        word += escaped(next);
        return;
    }
    // A joined line goes on after its leading blanks.
    while (i + 1 < text.size() && blank(text[i + 1])) {
        line += text[++i] == '\n' ? 1 : 0;
    }
    line += next == '\n' ? 1 : 0;
}

std::vector<FileOption> words(const std::string& text, Style style) {
    std::vector<FileOption> options;
    FileOption current;
    bool inWord = false;
    bool quoted = false;  // the word has a quoted part
    char quote = 0;
    std::size_t line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
            if (quote != 0) {
                inQuotes(text, i, style, current.text, line);
            }
            continue;
        }
        if (blank(c)) {
            if (inWord) {
                options.push_back(current);
            }
            current = FileOption();
            inWord = false;
            quoted = false;
            line += c == '\n' ? 1 : 0;
        } else if (style.comments && c == '#' && (!inWord || style.backslashes)) {
            while (i + 1 < text.size() && text[i + 1] != '\n') {
                ++i;
            }
            // The java launcher drops a word a comment cuts, unless part of
            // it was quoted: then the word goes on on the next line.
            if (inWord && style.backslashes && quoted) {
                line += i + 1 < text.size() ? 1 : 0;
                ++i;
            } else if (style.backslashes) {
                current = FileOption();
                inWord = false;
            }
        } else {
            if (!inWord) {
                current.line = line;
                inWord = true;
            }
            if (style.quotes && (c == '"' || c == '\'')) {
                quote = c;
                quoted = true;
            } else {
                current.text += c;
            }
        }
    }
    if (inWord) {
        options.push_back(current);
    }
    return options;
}

bool readable(const std::string& path, std::string& text) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

enum class FileKind { None, Arguments, Flags, Options };

FileKind kindOf(const std::string& text, bool atFiles, std::string& file) {
    if (atFiles && text.size() > 1 && text[0] == '@' && text[1] != '@') {
        file = text.substr(1);
        return FileKind::Arguments;
    }
    for (const auto& prefix : {std::make_pair("-XX:Flags=", FileKind::Flags),
                               std::make_pair("-XX:VMOptionsFile=", FileKind::Options)}) {
        if (Text::startsWith(text, prefix.first)) {
            file = text.substr(std::string(prefix.first).size());
            return file.empty() ? FileKind::None : prefix.second;
        }
    }
    return FileKind::None;
}

}  // namespace

std::vector<FileOption> argumentFileOptions(const std::string& text) {
    return words(text, Style{true, true, true});
}

std::vector<FileOption> flagFileOptions(const std::string& text) {
    std::vector<FileOption> options = words(text, Style{false, true, false});
    for (FileOption& option : options) {
        option.text.insert(0, "-XX:");
    }
    return options;
}

std::vector<FileOption> optionFileOptions(const std::string& text) {
    return words(text, Style{true, false, false});
}

namespace {

// The file an argument names, as the java launcher walks the options.
struct FileWalk {
    bool atFiles = true;
    bool valueNext = false;

    FileKind next(const std::string& text, std::string& file) {
        const FileKind kind = kindOf(text, atFiles, file);
        if (text == "--disable-@files") {
            atFiles = false;
        } else if (!valueNext && kind == FileKind::None && !text.empty() && text[0] != '-') {
            atFiles = false;  // the main class: the application's arguments follow
        }
        const JavaOption* option = javaOption(text);
        valueNext = !valueNext && option != nullptr && option->next;
        return kind;
    }
};

bool namesFiles(const VmArguments& arguments) {
    FileWalk walk;
    std::string file;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (walk.next(arguments.text(i), file) != FileKind::None) {
            return true;
        }
    }
    return false;
}

}  // namespace

void expandOptionFiles(VmFacts& vm, const std::string& startDir, const AccessJudge& access) {
    // Most lists name no file: they stay read in place.
    if (!namesFiles(vm.arguments)) {
        return;
    }
    std::vector<VmArgument> arguments;
    // The VM reads a flag file before its command line, which overrides it.
    std::vector<VmArgument> flagged;
    FileWalk walk;
    for (const VmArgumentView view : vm.arguments) {
        const VmArgument argument = view;
        std::string file;
        const FileKind kind = walk.next(argument.text, file);
        const std::string path = file.empty() || file[0] == '/' ? file : startDir + "/" + file;
        std::string text;
        const bool read =
            kind != FileKind::None && argument.file.empty() &&
            access.judge({AccessProbe{AccessOperation::Read, file, startDir}}).front().granted() &&
            readable(path, text);
        // The argument file gives way to its options; the VM's own files
        // stay, for their own judgement, their options after them.
        if (!read || kind != FileKind::Arguments) {
            arguments.push_back(argument);
        }
        if (!read) {
            continue;
        }
        const std::vector<FileOption> options = kind == FileKind::Flags ? flagFileOptions(text)
                                                : kind == FileKind::Options
                                                    ? optionFileOptions(text)
                                                    : argumentFileOptions(text);
        for (const FileOption& option : options) {
            VmArgument from = argument;
            from.text = option.text;
            from.file = path;
            from.fileLine = option.line;
            from.fromVmFile = kind != FileKind::Arguments;
            (kind == FileKind::Flags ? flagged : arguments).push_back(from);
        }
    }
    flagged.insert(flagged.end(), arguments.begin(), arguments.end());
    VmArguments expanded;
    expanded.reserve(flagged.size());
    for (const VmArgument& argument : flagged) {
        expanded.push_back(argument);
    }
    vm.arguments = std::move(expanded);
}
