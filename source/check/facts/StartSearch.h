// Where the files that may start an application are: desktop entries,
// systemd units, crontabs and the directories along the user's PATH. Each
// directory is read once; nothing is run.
#pragma once

#include <string>
#include <vector>

#include "facts/StartFacts.h"

// A file that may start an application.
struct StartFile {
    StartKind kind = StartKind::DesktopEntry;
    std::string path;       // as found: under the --root prefix
    std::string home;       // the home of the user it starts as (a real path); empty if unknown
    std::string user;       // that user's name; empty if unknown
    bool userUnit = false;  // a unit of the user's own systemd
    bool cronUser = false;  // a crontab whose lines name their user
};

struct StartSearch {
    std::string root;  // the prefix; empty for /
    struct Home {
        std::string user;
        std::string dir;  // real, without the prefix
    };
    std::vector<Home> homes;
    std::vector<std::string> pathDirs;  // the login PATH, real, without the prefix
};

// The search for the users in the password database (root and those from
// uid 1000), or only `onlyUser` when it is given, with the PATH a login gives
// them: /etc/login.defs ENV_PATH and ENV_SUPATH, or Debian's defaults, and
// each one's ~/.local/bin and ~/bin.
StartSearch startSearch(const std::string& root, const std::string& onlyUser);

// Every start file the search finds, each once.
std::vector<StartFile> findStartFiles(const StartSearch& search);

// FILE named by --start: its kind `forced`, or else told by its content,
// name and place. Returns false with `problem` when the file cannot be read
// or its kind cannot be told, the message naming the file.
bool startFileOf(const std::string& path, const StartSearch& search, const StartKind* forced,
                 StartFile& file, std::string& problem);

// Whether cron reads a file of this name in /etc/cron.d: only letters,
// digits, _ and - (Debian's cron skips the rest, such as shop.cron).
bool isCrontabName(const std::string& name);

// The home of `user` in the password database; empty when unknown.
std::string homeOf(const std::string& user);
