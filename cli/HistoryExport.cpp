#include "cli/HistoryExport.h"

#include "cli/SiteJson.h"
#include "monitor/HistoryCsv.h"

#include <ostream>

namespace vantrel {

namespace {

nlohmann::json known(long long v) {
    return v < 0 ? nlohmann::json() : nlohmann::json(v);
}

} // namespace

long long HistoryExport::write(CheckHistory& history, std::time_t from, std::time_t to, Format format,
                               std::ostream& out) {
    long long n = 0;
    if (format == Format::Csv)
        out << HistoryCsv::header();
    else
        out << "[";
    const bool ok = history.exportChecks("", "", [&](const CheckRecord& r) {
        if (r.time < from || r.time >= to)
            return;
        if (format == Format::Csv) {
            out << HistoryCsv::line(r);
        } else {
            const nlohmann::json row = {{"unix_time", static_cast<long long>(r.time)},
                                        {"title", r.title},
                                        {"url", r.url},
                                        {"status", r.status},
                                        {"http_status", known(r.httpStatus)},
                                        {"response_ms", known(r.totalMs)},
                                        {"name_lookup_ms", known(r.nameLookupMs)},
                                        {"connect_ms", known(r.connectMs)},
                                        {"tls_ms", known(r.tlsMs)},
                                        {"first_byte_ms", known(r.firstByteMs)},
                                        {"bytes_received", known(r.bytesReceived)},
                                        {"error_number", r.errorNumber},
                                        {"cert_days_left", known(r.certDaysLeft)},
                                        {"reason", r.reason}};
            out << (n ? ",\n" : "\n") << SiteJson::dump(row);
        }
        ++n;
    });
    if (format == Format::Json)
        out << (n ? "\n]\n" : "]\n");
    return ok ? n : -1;
}

} // namespace vantrel
