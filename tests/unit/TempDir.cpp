#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dvl-unit-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
}

TempDir::~TempDir() {
    boost::system::error_code ignored;
    boost::filesystem::remove_all(dir, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::string file = dir + "/" + name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + file);
    }
    return file;
}
