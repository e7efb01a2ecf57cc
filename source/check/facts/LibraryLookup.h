// Finds a program's loader and shared libraries the way the dynamic loader
// of the GNU C library will, without running anything.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "facts/ElfFile.h"

struct MissingLibrary {
    std::string name;      // as DT_NEEDED names it
    std::string neededBy;  // the program, or the library that needs it
};

// What keeps the loader a program names from loading it.
enum class LoaderProblem { None, Unreadable, Missing, NotUsableElf, OtherKind, NotExecutable };

struct LinkCheck {
    std::string loader;  // PT_INTERP; empty for a static program
    LoaderProblem loaderProblem = LoaderProblem::None;
    std::string loaderKind;  // the loader's kind, where it is another than the program's
    std::vector<MissingLibrary> missing;
    // Where the loader looks, as whoever can write there chooses the code:
    // the directories of RPATH, RUNPATH and LD_LIBRARY_PATH searched, and
    // the libraries found, in the order they were met.
    std::vector<std::string> searchedDirs;
    std::vector<std::string> libraries;
};

struct LookupPlaces {
    std::string ldLibraryPath;               // from the environment the program gets
    std::string cache = "/etc/ld.so.cache";  // the loader's cache
    std::vector<std::string> defaultDirs;    // empty: those of the program's kind
    std::string workingDir;                  // the child's, where relative names are looked up
    // The loader runs in secure mode (a set-user-ID or set-group-ID program
    // that changes the user's ids): LD_LIBRARY_PATH is ignored, and so is an
    // $ORIGIN that does not lead to a system directory.
    bool secure = false;
    // Whether the program's user can open a library found there; empty: yes.
    std::function<bool(const std::string&)> readable;
};

// The loader and every library `program` (read as `elf`) needs, directly or
// through other libraries, that cannot be found or is of another kind.
LinkCheck checkLinking(const std::string& program, const ElfFile& elf, const LookupPlaces& places);

// The directories searched last for libraries of `elf`'s kind.
std::vector<std::string> defaultLibraryDirs(const ElfFile& elf);
