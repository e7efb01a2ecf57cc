// The whole VM command line, in order: the installation ini's arguments,
// kept here, then the launch's own, read in place from its argument vector,
// so a VM section of millions of lines is not held a second time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "facts/LaunchVector.h"

// Where an element of the VM command line came from.
enum class VmOrigin {
    Line,             // a line of our ini file
    InstallationIni,  // a line of the installation's ini file
    DefaultName,      // the application name the launcher adds
    CommandLine,      // the launcher's own command line
    Environment,      // a VM variable of the environment, named as its `variable`
};

// One element of the VM command line and where it came from.
struct VmArgument {
    std::string text;
    VmOrigin origin = VmOrigin::Line;
    std::size_t line = 0;            // the line of our ini file; 0 for none
    std::size_t argument = 0;        // its index in our argument vector; 0 for none
    std::size_t iniLine = 0;         // the line of the installation's ini file; 0 for none
    std::size_t commandLine = 0;     // counted from 1 among the command-line arguments; 0 for none
    bool probed = false;             // the VM was started with it to give its verdict
    std::string file;                // the option file it was read from, where it was
    std::size_t fileLine = 0;        // its line there
    bool fromVmFile = false;         // read by the VM itself, where every word is an option
    const char* variable = nullptr;  // the VM variable of the environment it came from
};

// An element as it is read: the same, its text where it is kept.
struct VmArgumentView {
    VmArgumentView(const VmArgument& argument);  // NOLINT: every element is one
    explicit VmArgumentView(const std::string& text);
    operator VmArgument() const;  // NOLINT: a copy that holds its own text

    const std::string& text;
    VmOrigin origin = VmOrigin::Line;
    std::size_t line = 0;
    std::size_t argument = 0;
    std::size_t iniLine = 0;
    std::size_t commandLine = 0;
    bool probed = false;
    // Read in place, as the text is: a view is made of every element.
    const std::string& file;
    std::size_t fileLine = 0;
    bool fromVmFile = false;
    const char* variable = nullptr;
};

class VmArguments {
public:
    VmArguments() = default;
    // A copy holds every element itself: it may outlive the launch vector.
    VmArguments(const VmArguments& other);
    VmArguments& operator=(const VmArguments& other);
    VmArguments(VmArguments&&) = default;
    VmArguments& operator=(VmArguments&&) = default;

    // Appends one element, kept whole; only before the launch's are added.
    void push_back(const VmArgument& argument);
    void reserve(std::size_t size) { kept.reserve(size); }
    // Appends the elements of `argv` from `first` on, read in place: `argv`'s
    // strings and lines must outlive this list. `defaultName` is the added
    // default name's index (0 for none), `firstOwn` the first command-line one.
    void attach(const LaunchVector& argv, std::size_t first, std::size_t defaultName,
                std::size_t firstOwn);

    std::size_t size() const { return kept.size() + count; }
    bool empty() const { return size() == 0; }
    VmArgumentView operator[](std::size_t i) const;
    // Element `i`'s text alone: asked of every element by several rules.
    const std::string& text(std::size_t i) const;
    VmArgumentView at(std::size_t i) const;  // throws std::out_of_range
    // Marks the element the VM was started with for its verdict.
    void markProbed(std::size_t i);

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = VmArgumentView;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = VmArgumentView;
        Iterator(const VmArguments& list, std::size_t at) : list(&list), at(at) {}
        VmArgumentView operator*() const { return (*list)[at]; }
        Iterator& operator++() {
            ++at;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return at != other.at; }
        bool operator==(const Iterator& other) const { return at == other.at; }

    private:
        const VmArguments* list;
        std::size_t at;
    };
    Iterator begin() const { return Iterator(*this, 0); }
    Iterator end() const { return Iterator(*this, size()); }

private:
    std::vector<VmArgument> kept;
    // The launch's elements: argv.rest from index `first - 1` on.
    const std::vector<std::string>* rest = nullptr;
    const std::vector<std::uint32_t>* iniLines = nullptr;
    std::size_t first = 0;
    std::size_t count = 0;
    std::size_t defaultName = 0;
    std::size_t firstOwn = 0;
    // Elements with a NUL byte, as execv ends them there.
    std::map<std::size_t, std::string> cut;
    std::vector<bool> probed;
};
