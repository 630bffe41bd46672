#pragma once

#include "platform/HttpClient.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace vantrel::test {

// Answers each URL from its script, in turn; the last answer repeats, and a
// URL without a script fails as a transfer that never connected.
class ScriptedHttp : public HttpClient {
public:
    std::map<std::string, std::deque<HttpResponse>> script;
    std::vector<std::string> fetched;

    HttpResponse perform(const HttpRequest& request) override {
        fetched.push_back(request.url);
        std::deque<HttpResponse>& answers = script[request.url];
        if (answers.empty())
            return HttpResponse{};
        HttpResponse r = answers.front();
        if (answers.size() > 1)
            answers.pop_front();
        return r;
    }

    // A page the server sent, with its status and time taken.
    static HttpResponse answer(int status, std::string body, double ms = 0) {
        HttpResponse r;
        r.ok = true;
        r.statusCode = status;
        r.body = std::move(body);
        r.totalMs = ms;
        return r;
    }
};

} // namespace vantrel::test
