#include "tests/support/HttpTestServer.h"

#include <algorithm>
#include <cctype>

namespace vantrel::test {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

std::size_t contentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

std::string statusLineAndHeaders(const HttpTestServer::Response& r, const std::string& lengthHeader) {
    std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
    for (const std::string& h : r.headers)
        out += h + "\r\n";
    out += lengthHeader + "Connection: close\r\n\r\n";
    return out;
}

} // namespace

HttpTestServer::Response HttpTestServer::ok(std::string body) {
    return status(200, "OK", std::move(body));
}

HttpTestServer::Response HttpTestServer::status(int code, std::string reason, std::string body) {
    Response r;
    r.status = code;
    r.reason = std::move(reason);
    r.body = std::move(body);
    r.headers = {"Content-Type: text/html"};
    return r;
}

HttpTestServer::Response HttpTestServer::chunked(std::string body, std::size_t chunkSize) {
    Response r = ok(std::move(body));
    r.kind = Response::Kind::Chunked;
    r.chunkSize = std::max<std::size_t>(chunkSize, 1);
    return r;
}

HttpTestServer::Response HttpTestServer::redirect(std::string location) {
    Response r = status(302, "Found", "moved");
    r.headers.push_back("Location: " + location);
    return r;
}

HttpTestServer::Response HttpTestServer::silent() {
    Response r;
    r.kind = Response::Kind::Silent;
    return r;
}

HttpTestServer::Response HttpTestServer::reset() {
    Response r;
    r.kind = Response::Kind::Reset;
    return r;
}

HttpTestServer::Response HttpTestServer::raw(std::string bytes) {
    Response r;
    r.kind = Response::Kind::Raw;
    r.body = std::move(bytes);
    return r;
}

HttpTestServer::Response HttpTestServer::cutAndReset(std::string body) {
    Response r = ok(std::move(body));
    r.kind = Response::Kind::CutAndReset;
    return r;
}

HttpTestServer::HttpTestServer(bool concurrent, std::uint16_t port) : LoopbackServer(port) {
    setConcurrent(concurrent);
    start();
}

HttpTestServer::~HttpTestServer() {
    stop();
}

void HttpTestServer::route(const std::string& target, Response response) {
    routeInTurn(target, {std::move(response)});
}

void HttpTestServer::routeInTurn(const std::string& target, std::vector<Response> responses) {
    std::lock_guard lock(mutex_);
    routes_[target] = std::move(responses);
    served_[target] = 0;
}

std::string HttpTestServer::url(const std::string& path) const {
    return "http://" + hostPort() + path;
}

std::vector<std::string> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string HttpTestServer::lastRequest() const {
    std::lock_guard lock(mutex_);
    return requests_.empty() ? std::string() : requests_.back();
}

void HttpTestServer::serve(int& fd) {
    std::string request;
    if (!readUntil(fd, request, [](const std::string& b) { return b.find(kHeaderEnd) != std::string::npos; }))
        return;
    const std::size_t headEnd = request.find(kHeaderEnd) + kHeaderEnd.size();
    const std::size_t total = headEnd + contentLength(request.substr(0, headEnd));
    readUntil(fd, request, [total](const std::string& b) { return b.size() >= total; });

    const std::size_t space = request.find(' ');
    const std::size_t space2 = request.find(' ', space + 1);
    const std::string target = request.substr(space + 1, space2 - space - 1);
    Response r = status(404, "Not Found", "<html>no such page</html>");
    {
        std::lock_guard lock(mutex_);
        if (recording_)
            requests_.push_back(request);
        auto it = routes_.find(target);
        // A route that ends in '*' takes every target that begins with the rest.
        for (auto p = routes_.begin(); it == routes_.end() && p != routes_.end(); ++p)
            if (p->first.ends_with('*') && target.starts_with(p->first.substr(0, p->first.size() - 1)))
                it = p;
        if (it != routes_.end() && !it->second.empty()) {
            std::size_t& n = served_[it->first];
            r = it->second[std::min(n, it->second.size() - 1)];
            ++n;
        }
    }

    switch (r.kind) {
    case Response::Kind::Full:
        sendAll(fd, statusLineAndHeaders(r, "Content-Length: " + std::to_string(r.body.size()) + "\r\n") +
                        r.body);
        break;
    case Response::Kind::Chunked: {
        std::string out = statusLineAndHeaders(r, "Transfer-Encoding: chunked\r\n");
        for (std::size_t at = 0; at < r.body.size(); at += r.chunkSize) {
            std::string piece = r.body.substr(at, r.chunkSize);
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            out += size + piece + "\r\n";
        }
        sendAll(fd, out + "0\r\n\r\n");
        break;
    }
    case Response::Kind::Silent:
        holdUntilClosed(fd);
        break;
    case Response::Kind::Reset:
        resetAndClose(fd);
        break;
    case Response::Kind::Raw:
        sendAll(fd, r.body);
        break;
    case Response::Kind::CutAndReset:
        sendAll(fd, statusLineAndHeaders(r, "Content-Length: " + std::to_string(r.body.size()) + "\r\n") +
                        r.body.substr(0, r.body.size() / 2));
        pause(std::chrono::milliseconds(50));
        resetAndClose(fd);
        break;
    }
}

} // namespace vantrel::test
