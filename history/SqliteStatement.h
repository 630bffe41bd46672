#pragma once

#include <sqlite3.h>

#include <string>

namespace vantrel::sqlite {

// Small helpers around a prepared statement of the history.

inline void bindText(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// -1 (not reported) is kept as NULL.
inline void bindKnown(sqlite3_stmt* s, int i, long long value) {
    if (value < 0)
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_int64(s, i, value);
}

// The site and the bounds of a range query: parameters 1, 2 and 3.
inline void bindRange(sqlite3_stmt* s, long long site, long long from, long long to) {
    sqlite3_bind_int64(s, 1, site);
    sqlite3_bind_int64(s, 2, from);
    sqlite3_bind_int64(s, 3, to);
}

inline int columnInt(sqlite3_stmt* s, int i) {
    return sqlite3_column_type(s, i) == SQLITE_NULL ? -1 : sqlite3_column_int(s, i);
}

inline std::string columnText(sqlite3_stmt* s, int i) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

// Resets a prepared statement when the scope ends, whatever happened.
struct Reset {
    sqlite3_stmt* s;
    ~Reset() {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

} // namespace vantrel::sqlite
