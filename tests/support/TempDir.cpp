#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    oldCwd_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(oldCwd_, ec);
    // Make everything writable again so that read-only test files go too.
    // Links are left alone: chmod would change what they point to.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        if (!e.is_symlink(ec))
            ::chmod(e.path().c_str(), e.is_directory(ec) ? 0700 : 0600);
    ::chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void TempDir::writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool TempDir::exists(const std::string& name) {
    return std::filesystem::exists(name);
}

} // namespace vantrel::test
