#pragma once

#include <string>

namespace vantrel::test {

// Certificates made for one test with the openssl program, in `dir`: a test
// CA (ca.pem, to be trusted through SSL_CERT_FILE), a server certificate it
// signed for localhost and 127.0.0.1, one it signed for mail.example.org
// only, and a self-signed one for localhost and 127.0.0.1 that no one trusts.
// Each is valid for two days, with a P-256 key.
class TestCertificates {
public:
    struct Pair {
        std::string cert, key;
    };

    explicit TestCertificates(const std::string& dir);

    // Whether every file could be made.
    bool made() const { return made_; }
    const std::string& caFile() const { return ca_; }
    const Pair& server() const { return server_; }
    const Pair& otherName() const { return otherName_; }
    const Pair& selfSigned() const { return selfSigned_; }

private:
    bool signedByCa(const std::string& dir, const std::string& name, const std::string& section, Pair& out);

    std::string ca_;
    Pair server_, otherName_, selfSigned_;
    bool made_ = false;
};

} // namespace vantrel::test
