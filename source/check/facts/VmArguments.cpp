#include "facts/VmArguments.h"

#include <cstring>
#include <stdexcept>

namespace {

// The option file of every element of the launch's own.
const std::string& noFile() {
    static const std::string none;
    return none;
}

}  // namespace

VmArgumentView::VmArgumentView(const VmArgument& argument)
    : text(argument.text),
      origin(argument.origin),
      line(argument.line),
      argument(argument.argument),
      iniLine(argument.iniLine),
      commandLine(argument.commandLine),
      probed(argument.probed),
      file(argument.file),
      fileLine(argument.fileLine),
      fromVmFile(argument.fromVmFile),
      variable(argument.variable) {}

VmArgumentView::VmArgumentView(const std::string& text) : text(text), file(noFile()) {}

VmArgumentView::operator VmArgument() const {
    VmArgument copy;
    copy.text = text;
    copy.origin = origin;
    copy.line = line;
    copy.argument = argument;
    copy.iniLine = iniLine;
    copy.commandLine = commandLine;
    copy.probed = probed;
    copy.file = file;
    copy.fileLine = fileLine;
    copy.fromVmFile = fromVmFile;
    copy.variable = variable;
    return copy;
}

VmArguments::VmArguments(const VmArguments& other) : kept(other.kept) {
    for (std::size_t i = other.kept.size(); i < other.size(); ++i) {
        kept.push_back(other[i]);
    }
}

VmArguments& VmArguments::operator=(const VmArguments& other) {
    if (this != &other) {
        *this = VmArguments(other);
    }
    return *this;
}

void VmArguments::push_back(const VmArgument& argument) {
    if (count != 0) {
        throw std::logic_error("a VM argument kept after the launch's");
    }
    kept.push_back(argument);
}

void VmArguments::attach(const LaunchVector& argv, std::size_t firstIndex, std::size_t defaultIndex,
                         std::size_t firstOwnIndex) {
    rest = &argv.rest;
    iniLines = &argv.iniLines;
    first = firstIndex;
    count = argv.size() > firstIndex ? argv.size() - firstIndex : 0;
    defaultName = defaultIndex;
    firstOwn = firstOwnIndex;
    probed.assign(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& text = (*rest)[first + i - 1];
        if (std::strlen(text.c_str()) != text.size()) {
            cut[i] = text.c_str();
        }
    }
}

VmArgumentView VmArguments::operator[](std::size_t i) const {
    if (i < kept.size()) {
        return VmArgumentView(kept[i]);
    }
    const std::size_t own = i - kept.size();
    // Asked of every argument by every rule: most lists have nothing cut.
    VmArgumentView view(text(i));
    const std::size_t index = first + own;
    view.argument = index;
    view.probed = probed[own];
    if (index == defaultName) {
        view.origin = VmOrigin::DefaultName;
    } else if (index >= firstOwn) {
        view.origin = VmOrigin::CommandLine;
        view.commandLine = index - firstOwn + 1;
    } else {
        // Element 0 is the command, 1 and 2 the seed arguments.
        view.line = index >= 3 && index - 3 < iniLines->size() ? (*iniLines)[index - 3] : 0;
    }
    return view;
}

const std::string& VmArguments::text(std::size_t i) const {
    if (i < kept.size()) {
        return kept[i].text;
    }
    const std::size_t own = i - kept.size();
    const auto shortened = cut.empty() ? cut.end() : cut.find(own);
    return shortened != cut.end() ? shortened->second : (*rest)[first + own - 1];
}

VmArgumentView VmArguments::at(std::size_t i) const {
    if (i >= size()) {
        throw std::out_of_range("no such VM argument");
    }
    return (*this)[i];
}

void VmArguments::markProbed(std::size_t i) {
    if (i < kept.size()) {
        kept.at(i).probed = true;
    } else {
        probed.at(i - kept.size()) = true;
    }
}
