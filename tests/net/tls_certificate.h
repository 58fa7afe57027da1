#pragma once

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <string>

namespace velquist::testing {

// Writes a fresh self-signed certificate for 127.0.0.1 and its key as PEM files, so a
// test can run a TLS server that no client should trust.
inline bool WriteSelfSignedCertificate(const std::string& cert_path, const std::string& key_path) {
    struct KeyFree {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct CertFree {
        void operator()(X509* cert) const { X509_free(cert); }
    };
    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, CertFree> cert(X509_new());
    if (!key || !cert) {
        return false;
    }
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        return false;
    }
    std::unique_ptr<std::FILE, FileClose> cert_file(std::fopen(cert_path.c_str(), "w"));
    std::unique_ptr<std::FILE, FileClose> key_file(std::fopen(key_path.c_str(), "w"));
    return cert_file && key_file && PEM_write_X509(cert_file.get(), cert.get()) == 1 &&
           PEM_write_PrivateKey(key_file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
               1;
}

} // namespace velquist::testing
