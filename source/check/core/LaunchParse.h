// The launcher's own reading of the ini file, its options and argument
// vector, on a thread of its own while the check reads the file itself: on
// a long file the two readings cost about as much, and neither needs the
// other until both are done.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "launcher/ProgramOptions.h"

class LaunchParse {
public:
    // What the launcher's options are built from, as the launcher builds them.
    struct Inputs {
        std::string iniFile;
        std::string executableName;
        boost::filesystem::path workingDir;
        boost::filesystem::path startDir;
        bool needQuotes = false;
        std::vector<std::string> arguments;

        bool operator==(const Inputs& other) const;
    };

    // Whether a parse of the file at `path` goes on a thread of its own, as
    // the constructor decides: it is a MiB or more and there are two processors.
    static bool worthAThread(const std::string& path);

    // Starts the parse: on another thread for a file of a MiB or more where
    // there are two processors and a thread can be had, else here and now.
    explicit LaunchParse(Inputs inputs);
    ~LaunchParse();
    LaunchParse(const LaunchParse&) = delete;
    LaunchParse& operator=(const LaunchParse&) = delete;

    // The launcher's options once parsed; what the parse threw, such as
    // std::bad_alloc, is thrown here.
    const ProgramOptions& options();

    // Whether the parse goes on beside the caller; wait() ends it.
    bool running() const { return thread.joinable(); }

    // Waits until the parse is done, for a reading that must not go on
    // beside it.
    void wait();

    // Whether a check whose launch is built from `wanted` may take over this
    // parse, begun before it: once, only for the same inputs, and only while
    // the file still stands as it did when the parse began (the same device,
    // inode, size and times of change): one replaced or rewritten meanwhile
    // would give the check another file's vector. Otherwise what the parse
    // holds is let go, so that the vector of a large file is never held twice.
    bool handOver(const Inputs& wanted);

    // Ends the parse and lets go of what it holds, for a check that will
    // not take it over: before it reads the file itself, or forks a child
    // that switches user, which must not run beside another thread.
    void letGo();

    // Whether no line of the file at `path` is longer than `limit` bytes,
    // told with little memory; false when it cannot be read. A reading holds
    // a buffer as long as the longest line, and the check copies some lines
    // besides: beside the parse, which holds one too, only short lines leave
    // the memory the launcher itself needs.
    static bool linesAtMost(const std::string& path, std::size_t limit);

    // Whether the launcher's vector `all` is what a file of `iniArguments`
    // VM lines gives: the two seed arguments, one element for each line,
    // the default name of `applicationName` unless a line `nameGiven`, then
    // `commandLine` arguments. Else the file changed while it was read, or
    // memory ran out while the options were built.
    static bool vectorAgrees(const std::vector<std::string>& all, std::size_t iniArguments,
                             bool nameGiven, std::size_t commandLine,
                             const std::string& applicationName);

private:
    // What stat tells of a file that a replacement or a rewrite changes.
    struct FileState {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = -1;  // -1: no file to be had
        std::int64_t modified = 0;
        std::int64_t changed = 0;
        bool operator==(const FileState& other) const;
    };
    static FileState stateOf(const std::string& path);

    void parse() noexcept;

    const Inputs inputs;
    const FileState begunOn;
    std::optional<ProgramOptions> parsed;
    std::exception_ptr failure;
    bool handed = false;
    std::thread thread;
};
