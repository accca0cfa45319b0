// A throw-away self-signed certificate and key in a temporary folder, so a listener can be
// started in tests (its TLS files are loaded on every Start, whatever the port).
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "host/http_server.h"

namespace veltra::testing {

class SelfSignedTls {
 public:
  SelfSignedTls() {
    folder_ = std::filesystem::temp_directory_path() /
              ("veltra-api-tls-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(folder_);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(2048), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert) throw std::runtime_error("cannot create the test certificate");
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
      throw std::runtime_error("cannot sign the test certificate");
    }
    files_.certificate = (folder_ / "CRT.crt").string();
    files_.ca_bundle = (folder_ / "Cabundle.crt").string();
    files_.private_key = (folder_ / "Private-key.crt").string();
    Write(files_.certificate, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    Write(files_.ca_bundle, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    Write(files_.private_key, [&](FILE* f) {
      return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
  }
  ~SelfSignedTls() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  const TlsFiles& Files() const { return files_; }

 private:
  template <typename Fn>
  static void Write(const std::string& path, Fn write) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + path);
    const int ok = write(f);
    std::fclose(f);
    if (ok == 0) throw std::runtime_error("cannot write " + path);
  }

  std::filesystem::path folder_;
  TlsFiles files_;
};

}  // namespace veltra::testing
