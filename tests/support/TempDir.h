#pragma once

#include <string>

namespace vantrel::test {

// A fresh temporary directory that becomes the current directory for the
// object's life; the old current directory comes back and the directory is
// removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    static std::string readFile(const std::string& name);
    static void writeFile(const std::string& name, const std::string& bytes);
    static bool exists(const std::string& name);

private:
    std::string path_;
    std::string oldCwd_;
};

} // namespace vantrel::test
