#include "monitor/HistoryCsv.h"

#include <ctime>

namespace vantrel {

namespace {

std::string known(long long v) {
    return v < 0 ? std::string() : std::to_string(v);
}

} // namespace

std::string HistoryCsv::header() {
    return "time,unix_time,title,url,status,http_status,response_ms,name_lookup_ms,connect_ms,tls_ms,"
           "first_byte_ms,bytes_received,error_number,cert_days_left,reason\r\n";
}

std::string HistoryCsv::field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string HistoryCsv::line(const CheckRecord& r) {
    std::tm tm{};
    const std::time_t t = r.time;
    localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::string out = when;
    out += "," + std::to_string(static_cast<long long>(r.time));
    out += "," + field(r.title) + "," + field(r.url) + "," + field(r.status);
    out += "," + known(r.httpStatus) + "," + known(r.totalMs) + "," + known(r.nameLookupMs) + "," +
           known(r.connectMs) + "," + known(r.tlsMs) + "," + known(r.firstByteMs) + "," +
           known(r.bytesReceived);
    out +=
        "," + (r.errorNumber ? std::to_string(r.errorNumber) : std::string()) + "," + known(r.certDaysLeft);
    out += "," + field(r.reason);
    return out + "\r\n";
}

} // namespace vantrel
