#include "history/CheckDetail.h"

#include <cstdint>

namespace vantrel {

namespace {

void putVarint(std::string& out, long long value) {
    auto zigzag = (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
    while (zigzag >= 0x80) {
        out += static_cast<char>((zigzag & 0x7f) | 0x80);
        zigzag >>= 7;
    }
    out += static_cast<char>(zigzag);
}

// False at the end of the blob or on a value that runs past it.
bool getVarint(const unsigned char*& p, const unsigned char* end, long long& value) {
    std::uint64_t zigzag = 0;
    for (int shift = 0; p < end && shift < 64; shift += 7) {
        const unsigned char byte = *p++;
        zigzag |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            value = static_cast<long long>(zigzag >> 1) ^ -static_cast<long long>(zigzag & 1);
            return true;
        }
    }
    return false;
}

} // namespace

std::string CheckDetail::pack(const CheckRecord& r) {
    std::string out;
    for (long long v : {static_cast<long long>(r.httpStatus), static_cast<long long>(r.nameLookupMs),
                        static_cast<long long>(r.connectMs), static_cast<long long>(r.tlsMs),
                        static_cast<long long>(r.firstByteMs), r.bytesReceived,
                        static_cast<long long>(r.errorNumber), static_cast<long long>(r.certDaysLeft)})
        putVarint(out, v);
    return out;
}

void CheckDetail::unpack(const void* data, int size, CheckRecord& r) {
    const auto* p = static_cast<const unsigned char*>(data);
    const unsigned char* end = p ? p + (size > 0 ? size : 0) : p;
    long long v = 0;
    int* ints[] = {&r.httpStatus, &r.nameLookupMs, &r.connectMs, &r.tlsMs, &r.firstByteMs};
    for (int* field : ints)
        *field = getVarint(p, end, v) ? static_cast<int>(v) : -1;
    r.bytesReceived = getVarint(p, end, v) ? v : -1;
    r.errorNumber = getVarint(p, end, v) ? static_cast<int>(v) : 0;
    r.certDaysLeft = getVarint(p, end, v) ? static_cast<int>(v) : -1;
}

} // namespace vantrel
