// A throw-away key and self-signed certificate for the loopback address, so
// the test server can speak TLS that no client trusts by default.
//
// Thread safety: create() may be called from any thread.
// Ownership: the object owns both OpenSSL objects and frees them.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace plexora::testserver {

class SelfSignedCertificate final {
 public:
  // Throws std::runtime_error when OpenSSL fails.
  static SelfSignedCertificate create();

  X509* certificate() const { return certificate_.get(); }
  EVP_PKEY* privateKey() const { return key_.get(); }

 private:
  struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  struct FreeCertificate {
    void operator()(X509* certificate) const { X509_free(certificate); }
  };

  std::unique_ptr<EVP_PKEY, FreeKey> key_;
  std::unique_ptr<X509, FreeCertificate> certificate_;
};

}  // namespace plexora::testserver
