#include "notify/SocketErrorText.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vantrel {

namespace {

// Sorted by code. The spelling is the program's own and is kept as it is.
constexpr std::array<std::pair<int, const char*>, 47> kTexts{{
    {SocketErrorText::kNoLoginMethod, "ERR-20005: Server Offers Neither AUTH PLAIN Nor AUTH LOGIN."},
    {SocketErrorText::kLoginNeedsEncryption,
     "ERR-20004: A Login Needs an Encrypted Connection (STARTTLS or TLS); it is never sent unencrypted."},
    {SocketErrorText::kStartTlsNotOffered,
     "ERR-20003: Server Does Not Offer STARTTLS; nothing more is sent unencrypted."},
    {SocketErrorText::kSecureConnectionFailed, "ERR-20002: Secure Connection Failed: "},
    {SocketErrorText::kUnexpectedReply,
     "ERR-20001: Error While Communicating with Server.  Message From Server: "},
    {SocketErrorText::kGreetingRefused, "ERR-20000: Failed to Connect to Server."},
    {10004, "ERR-10004: Socket disconnected due to interuption from Blocking Call."},
    {10013, "ERR-10013: Permission Denied"},
    {10014, "ERR-10014: Bad Address"},
    {10022, "ERR-10022: Invalid Argument."},
    {10024, "ERR-10024: Too many open Sockets."},
    {10035, "ERR-10035: Resource Temporarily Not Available."},
    {10036, "ERR-10036: Socket Busy."},
    {10037, "ERR-10037: Operation Already in Progress"},
    {10038, "ERR-10038: Socket Operation Attempted on Non-Socket."},
    {10039, "ERR-10039: Address missing from request"},
    {10040, "ERR-10040: Message Too Long."},
    {10042, "ERR-10042: Bad Protocol Option."},
    {10043, "ERR-10043: Protocol Not Supported."},
    {10044, "ERR-10044: Socket Type Not Supported."},
    {10045, "ERR-10045: Operation Not Supported."},
    {10046, "ERR-10046: Protocol Family Not Supported."},
    {10047, "ERR-10047: Adress not supported by protocol"},
    {10048, "ERR-10048: Socket Already in Use"},
    {10049, "ERR-10049: Cannot Assign Requested Address"},
    {10050, "ERR-10050: Network is Down."},
    {10051, "ERR-10051: Network Unreachable."},
    {10052, "ERR-10052: Socket Dropped, no Keep Alive Data recieved."},
    {10053, "ERR-10053: Software caused connection to close"},
    {10054, "ERR-10054: Connection Reset by remote server"},
    {10055, "ERR-10055: No Buffer Space Available."},
    {10056, "ERR-10056: Socket Already Connected."},
    {10057, "ERR-10057: Socket Not Connected."},
    {10058, "ERR-10058: Cannot Send.  Socket Already Closed."},
    {10060, "ERR-10060: Connection Timed Out."},
    {10061, "ERR-10061: Connection Refused by remote server"},
    {10064, "ERR-10064: Destination Host is Down"},
    {10065, "ERR-10065: Host is not reachable."},
    {10067, "ERR-10067: Too Many Processes Already Running."},
    {10091, "ERR-10091: Network Subsystem Not Available."},
    {10092, "ERR-10092: Winsock version not supported, please upgrade winsock."},
    {10093, "ERR-10093: WSAStartup not Completed."},
    {10101, "ERR-10094: Remote Server Shutting Down."}, // the code is 10101, the text says 10094
    {11001, "ERR-11001: Host Not Found."},
    {11002, "ERR-11002: Host Not Found, Try Again Later."},
    {11003, "ERR-11003: Unrecoverable Error Has Occured."},
    {11004, "ERR-11004: Valid Name, No Data Record."},
}};

static_assert(std::is_sorted(kTexts.begin(), kTexts.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; }));

} // namespace

std::string SocketErrorText::text(int code, std::string_view detail) {
    auto it = std::lower_bound(kTexts.begin(), kTexts.end(), code,
                               [](const auto& entry, int c) { return entry.first < c; });
    if (it == kTexts.end() || it->first != code)
        return "Error: Other Error";
    std::string out = it->second;
    if (code == kUnexpectedReply)
        out.append(detail);
    if (code == kSecureConnectionFailed)
        out.append(detail.empty() ? std::string_view("TLS error") : detail).append(".");
    return out;
}

} // namespace vantrel
