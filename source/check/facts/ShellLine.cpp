#include "facts/ShellLine.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

struct Token {
    std::string text;
    bool op = false;         // an operator: && || ; & | ( )
    bool exact = true;       // no expansion left undone
    bool arguments = false;  // "$@": the script's own arguments, none when started plainly
    std::size_t line = 1;
};

bool isVariableChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// $HOME and ${HOME} expanded; any other expansion makes the word inexact.
void expandDollar(const std::string& line, std::size_t& i, Token& word, const std::string& home) {
    std::string name;
    if (i + 1 < line.size() && (line[i + 1] == '@' || line[i + 1] == '*')) {
        word.arguments = true;
        i += 2;
        return;
    }
    if (i + 1 < line.size() && line[i + 1] == '{') {
        const std::size_t close = line.find('}', i + 2);
        name = line.substr(i + 2, close == std::string::npos ? std::string::npos : close - i - 2);
        i = close == std::string::npos ? line.size() : close + 1;
    } else {
        ++i;
        while (i < line.size() && isVariableChar(line[i])) {
            name += line[i++];
        }
    }
    if (name == "HOME") {
        word.text += home;
    } else {
        word.exact = false;
        word.text += "$" + name;
    }
}

// Past the redirection at `i`: its operator and the word that follows.
std::size_t skipRedirection(const std::string& line, std::size_t i) {
    while (i < line.size() && std::strchr("<>&|", line[i]) != nullptr) {
        ++i;
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    char quote = 0;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (std::strchr(" \t\n;&|()<>", c) != nullptr) {
            break;
        }
    }
    return i;
}

// The quoted part of a word that opens at `i` added to `word`; returns
// where it closes.
std::size_t quoted(const std::string& line, std::size_t i, Token& word, const std::string& home) {
    if (line[i] == '\'') {
        const std::size_t close = line.find('\'', i + 1);
        word.text +=
            line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
        return close == std::string::npos ? line.size() : close + 1;
    }
    for (++i; i < line.size() && line[i] != '"';) {
        if (line[i] == '\\' && i + 1 < line.size() &&
            std::strchr("$`\"\\", line[i + 1]) != nullptr) {
            word.text += line[i + 1];
            i += 2;
        } else if (line[i] == '$') {
            expandDollar(line, i, word, home);
        } else {
            word.exact = word.exact && line[i] != '`';
            word.text += line[i++];
        }
    }
    return i + 1;
}

// The operator at `i`, a newline as ";"; `i` moves past it.
Token operatorAt(const std::string& line, std::size_t& i, std::size_t lineNumber) {
    const char c = line[i];
    std::string op(1, c == '\n' ? ';' : c);
    if ((c == '&' || c == '|') && i + 1 < line.size() && line[i + 1] == c) {
        op += c;
        ++i;
    }
    ++i;
    return Token{op, true, true, false, lineNumber};
}

// The part of a word at `i` added to `word`; `i` moves past it.
void wordPart(const std::string& line, std::size_t& i, Token& word, bool& inWord,
              std::size_t& lineNumber, const std::string& home) {
    const char c = line[i];
    if (c == '\'' || c == '"') {
        inWord = true;
        i = quoted(line, i, word, home);
    } else if (c == '\\' && i + 1 < line.size() && line[i + 1] == '\n') {
        i += 2;  // the line goes on
        ++lineNumber;
    } else if (c == '\\' && i + 1 < line.size()) {
        word.text += line[i + 1];
        inWord = true;
        i += 2;
    } else if (c == '$') {
        inWord = true;
        expandDollar(line, i, word, home);
    } else if (c == '~' && !inWord) {
        word.text += home;
        inWord = true;
        ++i;
    } else {
        word.exact = word.exact && c != '`' && c != '*' && c != '?';
        word.text += c;
        inWord = true;
        ++i;
    }
}

std::vector<Token> tokens(const std::string& line, const std::string& home) {
    std::vector<Token> out;
    Token word;
    bool inWord = false;
    const auto flush = [&]() {
        if (inWord) {
            out.push_back(std::move(word));
        }
        word = Token();
        inWord = false;
    };
    std::size_t lineNumber = 1;
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (!inWord) {
            word.line = lineNumber;
        }
        if (c == ' ' || c == '\t') {
            flush();
            ++i;
        } else if (c == '#' && !inWord) {
            i = std::min(line.find('\n', i), line.size());  // a comment
        } else if (c == '<' || c == '>') {
            // A redirection: no word of the command, nor is its file. A
            // word of digits before it names the descriptor.
            if (inWord && word.exact &&
                word.text.find_first_not_of("0123456789") == std::string::npos) {
                word = Token();
                inWord = false;
            }
            flush();
            i = skipRedirection(line, i);
        } else if (c == '\n' || c == ';' || c == '&' || c == '|' || c == '(' || c == ')') {
            flush();
            out.push_back(operatorAt(line, i, lineNumber));
            lineNumber += c == '\n' ? 1 : 0;
        } else {
            wordPart(line, i, word, inWord, lineNumber, home);
        }
    }
    flush();
    return out;
}

bool isAssignment(const std::string& word) {
    const std::size_t equals = word.find('=');
    if (equals == 0 || equals == std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < equals; ++i) {
        if (!isVariableChar(word[i])) {
            return false;
        }
    }
    return true;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isShell(const std::string& program) {
    const std::string name = baseName(program);
    return name == "sh" || name == "bash" || name == "dash" || name == "ksh" || name == "zsh";
}

// Past the words before the program that run the rest as it is:
// assignments, env and its options, exec, nohup, setsid, command. `dir`
// follows env -C; `renamed` gets exec -a's name.
std::size_t programWord(const std::vector<Token>& words, std::string& dir, std::string& renamed) {
    std::size_t first = 0;
    while (first < words.size()) {
        // Compared as views: their sizes tell most words apart at once.
        const std::string_view w = words[first].text;
        if (w == "env") {
            ++first;
            while (first < words.size() && words[first].text.size() > 1 &&
                   words[first].text[0] == '-') {
                const std::string& option = words[first].text;
                const bool chdir = option == "-C" || option == "--chdir";
                const bool takesValue = chdir || option == "-u" || option == "--unset" ||
                                        option == "-S" || option == "--split-string";
                if (chdir && first + 1 < words.size()) {
                    dir = words[first + 1].exact ? joinedPath(dir, words[first + 1].text)
                                                 : std::string();
                } else if (option.compare(0, 8, "--chdir=") == 0) {
                    dir = joinedPath(dir, option.substr(8));
                }
                first += takesValue ? 2 : 1;
            }
        } else if (isAssignment(words[first].text) || w == "nohup" || w == "setsid" ||
                   w == "command") {
            ++first;
        } else if (w == "exec") {
            ++first;
            if (first + 1 < words.size() && words[first].text == "-a") {
                renamed = words[first + 1].text;
                first += 2;
            }
        } else {
            break;
        }
    }
    return first;
}

// The first word of `words` that decides the start but is not exact: the
// program, its arguments, and the words of env, exec and the like before it.
std::string unreadWord(const std::vector<Token>& words, std::size_t first) {
    for (std::size_t w = 0; w < words.size(); ++w) {
        if (!words[w].exact && (w >= first || !isAssignment(words[w].text))) {
            return words[w].text;
        }
    }
    return std::string();
}

struct ShellPlace {
    std::string dir;
    std::string unread;  // the cd the reader could not follow
};

ShellCommand commandOf(const std::vector<Token>& words, std::size_t first,
                       const std::string& renamed, const ShellPlace& place) {
    ShellCommand command;
    for (std::size_t w = first; w < words.size(); ++w) {
        command.words.push_back(words[w].text);
    }
    command.program = words[first].text;
    if (!renamed.empty()) {
        command.words[0] = renamed;
        command.renamedByExec = true;
    }
    command.dir = place.dir;
    command.line = words[first].line;
    command.unread = place.unread;
    if (command.unread.empty()) {
        command.unread = unreadWord(words, first);
    }
    return command;
}

void readInto(std::vector<ShellCommand>& commands, const std::string& line, ShellPlace place,
              const std::string& home) {
    std::vector<Token> all = tokens(line, home);
    std::string before;
    // A subshell's cd ends with it.
    std::vector<ShellPlace> outer;
    std::size_t i = 0;
    while (i < all.size()) {
        std::vector<Token> words;
        for (; i < all.size() && !all[i].op; ++i) {
            // "$@" stands for the arguments, which a plain start has none of.
            if (!(all[i].arguments && all[i].text.empty())) {
                words.push_back(std::move(all[i]));
            }
        }
        const std::string after = i < all.size() ? all[i].text : std::string();
        ++i;
        std::string renamed;
        ShellPlace commandPlace = place;
        const std::size_t first = programWord(words, commandPlace.dir, renamed);
        if (first < words.size()) {
            const std::string_view program = words[first].text;
            if (program == "cd") {
                const std::string target = first + 1 < words.size() ? words[first + 1].text : home;
                const bool exact = first + 1 >= words.size() || words[first + 1].exact;
                place.dir = exact ? joinedPath(place.dir, target) : std::string();
                place.unread = exact ? std::string() : "cd " + target;
            } else if (isShell(words[first].text) && first + 2 < words.size() &&
                       words[first + 1].text == "-c") {
                const std::size_t inner = commands.size();
                readInto(commands, words[first + 2].text, commandPlace, home);
                if (commands.size() > inner) {
                    commands[inner].before = before;
                    commands.back().after = after;
                }
            } else {
                ShellCommand command = commandOf(words, first, renamed, commandPlace);
                command.before = before;
                command.after = after;
                commands.push_back(std::move(command));
            }
        }
        if (after == "(") {
            outer.push_back(place);
        } else if (after == ")" && !outer.empty()) {
            place = outer.back();
            outer.pop_back();
        }
        before = after;
    }
}

}  // namespace

std::string joinedPath(const std::string& dir, const std::string& path) {
    if (path.empty() || (path[0] != '/' && dir.empty())) {
        return std::string();
    }
    const std::string whole = path[0] == '/' ? path : dir + "/" + path;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t slash = whole.find('/', start);
        if (slash == std::string::npos) {
            slash = whole.size();
        }
        const std::string part = whole.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string joined;
    for (const std::string& part : parts) {
        joined += "/" + part;
    }
    return joined.empty() ? "/" : joined;
}

std::vector<ShellCommand> readShellLine(const std::string& line, const std::string& startDir,
                                        const std::string& home) {
    std::vector<ShellCommand> commands;
    readInto(commands, line, ShellPlace{startDir, std::string()}, home);
    return commands;
}
