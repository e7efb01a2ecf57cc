// The pieces of the text report that the findings and the explanation share:
// a finding as compilers write one, the failure of a check, the summary.
#pragma once

#include <charconv>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

#include "report/Formatter.h"

namespace TextOutput {

// Bytes in double quotes, every invisible one spelled out.
std::string quoted(const std::string& bytes);

// The same, written to a stream in pieces: a line may be as long as the file.
struct Quoted {
    std::string_view bytes;
};
std::ostream& operator<<(std::ostream& out, Quoted quoted);

// Text gathered for a stream and handed over a few pages at a time, and at
// the latest when it goes away: an explanation of a long file is millions
// of small pieces, and a stream takes each at a cost of its own.
class Buffered {
public:
    // Handed over once this much is gathered; a longer piece goes by itself.
    static constexpr std::size_t PIECE = 64 * 1024;

    // Left uninitialised: only what was written into it is read.
    explicit Buffered(std::ostream& out) : out(out), buffer(new char[PIECE]) {}
    ~Buffered() { flush(); }
    Buffered(const Buffered&) = delete;
    Buffered& operator=(const Buffered&) = delete;

    // Inline: the small pieces are the many.
    Buffered& operator<<(std::string_view text) {
        if (text.size() < PIECE - used) {
            text.copy(&buffer[used], text.size());
            used += text.size();
        } else {
            putLong(text);
        }
        return *this;
    }
    Buffered& operator<<(char c) {
        if (used == PIECE) {
            flush();
        }
        buffer[used++] = c;
        return *this;
    }
    Buffered& operator<<(Quoted quoted);
    template <typename N,
              typename = std::enable_if_t<std::is_integral_v<N> && !std::is_same_v<N, char> &&
                                          !std::is_same_v<N, bool>>>
    Buffered& operator<<(N number) {
        char digits[24];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, number);
        return *this << std::string_view(digits, static_cast<std::size_t>(end.ptr - digits));
    }
    void flush();

private:
    void putLong(std::string_view text);

    std::ostream& out;
    std::unique_ptr<char[]> buffer;  // filled up to `used`
    std::size_t used = 0;
    std::string spelled;  // a piece of a quoted text, spelled out
};

// FILE:LINE: SEVERITY: MESSAGE [KIND], then a FILE:LINE: note: ADVICE line
// for each note, the severity coloured as gcc and clang colour it when `colour`.
void finding(std::ostream& out, const ShownFinding& shown, bool colour);

// DIR: error: cannot check: PROBLEM
void failure(std::ostream& out, const std::string& shownDir, const std::string& problem,
             bool colour);

// "3 applications checked, 1 could not be checked: 1 error, 0 warnings,
// 0 notes; 2 findings below the threshold not shown"
void summary(std::ostream& out, const Tally& tally);

}  // namespace TextOutput
