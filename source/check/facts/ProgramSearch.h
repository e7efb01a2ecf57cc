// Where a command named without a slash is found along a PATH, for every
// start file of a search: the same few programs are looked up thousands of
// times across the scripts along PATH, so each directory is listed once and
// each answer kept.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class ProgramSearch {
public:
    // The file `program` (no slash in it) names along `path` under the
    // prefix `root`, as the shell finds it; empty when none.
    std::string find(const std::string& program, const std::string& root, const std::string& path);

private:
    // Whether `dir` holds an entry `name` that leads to a file: its listing
    // says where there is none, stat() where there is one.
    bool holds(const std::string& dir, const std::string& name);

    struct Listing {
        bool listed = false;  // false: the directory cannot be read, so stat() decides
        std::set<std::string> names;
    };
    std::map<std::string, Listing> listings;
    // The answers along each PATH (under each root) by program: the PATHs
    // are few, the programs many.
    struct Along {
        std::string root;
        std::string path;
        std::unordered_map<std::string, std::string> found;
    };
    std::vector<Along> alongs;
};
