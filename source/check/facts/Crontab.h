// A crontab as cron reads it: environment lines and the command lines with
// their schedule, and for the system crontab and /etc/cron.d the user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct CronEntry {
    std::size_t line = 0;
    std::string schedule;  // "@reboot", or the five time fields
    std::string user;      // empty in a user's own crontab
    std::string command;   // as the shell gets it: up to the first unescaped %
    std::string home;      // HOME as set by a line above it; empty when none
    std::string path;      // PATH as set by a line above it; empty when none
    std::string shell;     // SHELL as set by a line above it; empty when none
    // The VM variables set by lines above it ("NAME=VALUE"), which cron
    // hands to the command and the VM reads.
    std::vector<std::string> vmVariables;
};

// `withUser`: a sixth field names the user (the system crontab, /etc/cron.d).
std::vector<CronEntry> parseCrontab(const std::string& text, bool withUser);

// Whether `text` reads as a crontab: only environment lines and schedule
// lines, at least one of the latter. `userFields` gets, for each schedule
// line, the word a system crontab names its user by.
bool looksLikeCrontab(const std::string& text, std::vector<std::string>& userFields);
