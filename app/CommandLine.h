#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// The program's few command-line options. None of them changes the
// configuration, which is vantrel.ini alone: --help and --version only
// print, and --menu-start, which the desktop's menu entry passes, only picks
// the folder the program runs in (see StartFolder).
class CommandLine {
public:
    enum class Action { Run, MenuStart, Help, Version, UsageError };

    // Reads the arguments after the program's name.
    static CommandLine parse(const std::vector<std::string>& args);

    Action action() const { return action_; }
    // The argument that was not understood, for a usage error.
    const std::string& rejected() const { return rejected_; }

    // The texts printed for --help, --version and a usage error.
    static std::string helpText();
    static std::string versionText();
    static std::string usageText(const std::string& rejected);

    // For --help, --version and a usage error: prints its text and gives the
    // exit status. For a start (Run, MenuStart): nothing.
    std::optional<int> answer() const;

    // Exit status of a usage error.
    static constexpr int kUsageStatus = 2;

private:
    Action action_ = Action::Run;
    std::string rejected_;
};

} // namespace vantrel
