// `vantrel check` built without the window's libraries: the same command
// code, so the benchmark can tell what the check costs from what loading
// the program's Qt libraries costs before main().
#include "cli/CommandRunner.h"
#include "cli/FolderLink.h"

#include <iostream>

namespace {

class NoFolder : public vantrel::FolderLink {
public:
    std::optional<vantrel::FolderReply> ask(const vantrel::FolderRequest&, std::chrono::milliseconds,
                                            std::string&) override {
        return std::nullopt;
    }
    bool lock(std::string& why) override {
        why = "not here";
        return false;
    }
    void unlock() override {}
};

} // namespace

int main(int argc, char** argv) {
    NoFolder folder;
    vantrel::CommandRunner runner(folder, std::cout, std::cerr);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args.front() != "check")
        return 3;
    return runner.run(args);
}
