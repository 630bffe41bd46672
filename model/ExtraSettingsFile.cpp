#include "model/ExtraSettingsFile.h"

#include "model/KeyValueLines.h"
#include "model/KeyValueWriter.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace vantrel {

namespace {

std::optional<int> readNumber(std::string_view value) {
    long long n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size())
        return std::nullopt;
    return static_cast<int>(std::clamp(n, -1000000000LL, 1000000000LL));
}

void readNumber(std::string_view value, int& field, int low, int high) {
    if (auto n = readNumber(value))
        field = std::clamp(*n, low, high);
}

void readSwitch(std::string_view value, bool& field) {
    if (value == "yes")
        field = true;
    else if (value == "no")
        field = false;
}

const char* switchText(bool on) {
    return on ? "yes" : "no";
}

} // namespace

const char* ExtraSettingsFile::securityName(MailSecurity security) {
    switch (security) {
    case MailSecurity::StartTls:
        return "starttls";
    case MailSecurity::Tls:
        return "tls";
    case MailSecurity::None:
        break;
    }
    return "none";
}

std::string ExtraSettingsFile::serialize(const ExtraSettings& s) {
    KeyValueWriter out(256);
    out.line("MAILSECURITY", securityName(s.mailSecurity));
    out.line("MAILUSER", s.mailUser);
    out.line("MAILPASSWORDFILE", s.mailPasswordFile);
    out.line("NOTIFICATIONS", switchText(s.notifications));
    out.line("PARALLEL", std::to_string(s.parallelFetches));
    out.line("CONFIRM", std::to_string(s.confirmAttempts));
    out.line("OFFLINEGUARD", switchText(s.offlineGuard));
    out.line("CERTWARNDAYS", std::to_string(s.certWarnDays));
    out.line("HISTORY", switchText(s.history));
    out.line("HISTORYDAYS", std::to_string(s.historyDays));
    out.line("HISTORYMAXMB", std::to_string(s.historyMaxMb));
    out.line("METRICS", s.metricsAddress);
    out.lineEnd();
    out.lineEnd();
    return out.take();
}

void ExtraSettingsFile::parse(std::string_view bytes, ExtraSettings& s) {
    KeyValueLines::forEach(bytes, [&s](std::string_view key, std::string_view value) {
        if (key == "MAILSECURITY") {
            if (value == "none")
                s.mailSecurity = MailSecurity::None;
            else if (value == "starttls")
                s.mailSecurity = MailSecurity::StartTls;
            else if (value == "tls")
                s.mailSecurity = MailSecurity::Tls;
        } else if (key == "MAILUSER") {
            s.mailUser = std::string(value);
        } else if (key == "MAILPASSWORDFILE") {
            s.mailPasswordFile = std::string(value);
        } else if (key == "NOTIFICATIONS") {
            readSwitch(value, s.notifications);
        } else if (key == "PARALLEL") {
            readNumber(value, s.parallelFetches, 1, kMaxParallelFetches);
        } else if (key == "CONFIRM") {
            readNumber(value, s.confirmAttempts, 1, kMaxConfirmAttempts);
        } else if (key == "OFFLINEGUARD") {
            readSwitch(value, s.offlineGuard);
        } else if (key == "CERTWARNDAYS") {
            readNumber(value, s.certWarnDays, 0, kMaxCertWarnDays);
        } else if (key == "HISTORY") {
            readSwitch(value, s.history);
        } else if (key == "HISTORYDAYS") {
            readNumber(value, s.historyDays, 1, kMaxHistoryDays);
        } else if (key == "HISTORYMAXMB") {
            readNumber(value, s.historyMaxMb, kMinHistoryMb, kMaxHistoryMb);
        } else if (key == "METRICS") {
            s.metricsAddress = std::string(value);
        }
    });
}

} // namespace vantrel
