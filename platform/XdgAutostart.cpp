#include "platform/XdgAutostart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vantrel {

namespace {

namespace fs = std::filesystem;

// Escapes for a value of type string in a desktop entry file.
std::string escapeString(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ': // a leading space would be taken for padding and trimmed
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One argument of an Exec key: always in double quotes, with the four
// characters that stay special inside quotes escaped, and "%" doubled so it
// is not taken for a field code. The string escapes apply on top of this.
std::string quoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    quoted += '"';
    return escapeString(quoted);
}

fs::path configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute())
        return fs::path(xdg);
    const char* home = std::getenv("HOME");
    if (home && *home && fs::path(home).is_absolute())
        return fs::path(home) / ".config";
    return {};
}

} // namespace

std::string XdgAutostart::entryPath() {
    const fs::path base = configHome();
    return base.empty() ? std::string() : (base / "autostart" / kFileName).string();
}

std::string XdgAutostart::desktopEntry(const std::string& executable, const std::string& workingDirectory) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vantrel\n"
           "Exec=" +
           quoteExecArgument(executable) +
           "\n"
           "Path=" +
           escapeString(workingDirectory) + "\n";
}

bool XdgAutostart::add(const std::string& executable, const std::string& workingDirectory) {
    const std::string path = entryPath();
    if (path.empty() || executable.empty())
        return false;
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (ec)
        return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << desktopEntry(executable, workingDirectory);
    out.close();
    return static_cast<bool>(out);
}

void XdgAutostart::remove() {
    const std::string path = entryPath();
    std::error_code ec;
    if (!path.empty())
        fs::remove(path, ec);
}

std::string XdgAutostart::currentExecutable() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

} // namespace vantrel
