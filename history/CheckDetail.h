#pragma once

#include "monitor/CheckHistory.h"

#include <string>

namespace vantrel {

// The measurements of a check that no query reads (HTTP status, the phases
// of the transfer, bytes, error number, certificate days) packed into one
// small blob: each value zigzag-coded as a variable-length integer, so the
// usual -1, 0 and small values take one byte each. A raw row keeps the blob
// instead of eight columns, which saves a header byte and more per value.
class CheckDetail {
public:
    static std::string pack(const CheckRecord& record);
    // Fills the measurements of `record` from a blob; values a short or
    // damaged blob lacks stay -1 (the error number 0).
    static void unpack(const void* data, int size, CheckRecord& record);
};

} // namespace vantrel
