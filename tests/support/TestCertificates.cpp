#include "tests/support/TestCertificates.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <vector>

namespace vantrel::test {

namespace {

const char* const kConfig = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = Vantrel Test
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[local]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1
[other]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:mail.example.org
)";

bool openssl(std::vector<std::string> args) {
    args.insert(args.begin(), "openssl");
    return ChildProcess::run(args);
}

std::vector<std::string> newKey(const std::string& key) {
    return {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key};
}

} // namespace

TestCertificates::TestCertificates(const std::string& dir) {
    const std::string config = dir + "/openssl.cnf";
    TempDir::writeFile(config, kConfig);
    ca_ = dir + "/ca.pem";
    auto selfSignedCert = [&](const std::string& section, const std::string& subject, const Pair& pair) {
        std::vector<std::string> args{"req",   "-x509", "-config", config,  "-extensions", section,
                                      "-days", "2",     "-subj",   subject, "-out",        pair.cert};
        std::vector<std::string> key = newKey(pair.key);
        args.insert(args.end(), key.begin(), key.end());
        return openssl(args);
    };
    const Pair ca{ca_, dir + "/ca.key"};
    selfSigned_ = {dir + "/self-signed.pem", dir + "/self-signed.key"};
    made_ = selfSignedCert("ca", "/CN=Vantrel Test CA", ca) &&
            selfSignedCert("local", "/CN=localhost", selfSigned_) &&
            signedByCa(dir, "server", "local", server_) && signedByCa(dir, "other", "other", otherName_);
}

bool TestCertificates::signedByCa(const std::string& dir, const std::string& name, const std::string& section,
                                  Pair& out) {
    const std::string config = dir + "/openssl.cnf";
    const std::string request = dir + "/" + name + ".csr";
    out = {dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    std::vector<std::string> args{"req", "-new", "-config", config, "-subj", "/CN=" + name, "-out", request};
    std::vector<std::string> key = newKey(out.key);
    args.insert(args.end(), key.begin(), key.end());
    return openssl(args) &&
           openssl({"x509", "-req", "-in", request, "-CA", ca_, "-CAkey", dir + "/ca.key", "-CAcreateserial",
                    "-days", "2", "-extfile", config, "-extensions", section, "-out", out.cert});
}

} // namespace vantrel::test
