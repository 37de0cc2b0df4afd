#include "testserver/SelfSignedCertificate.h"

#include <openssl/x509v3.h>

#include <stdexcept>

namespace plexora::testserver {

namespace {

constexpr const char* kCurve = "P-256";
constexpr const char* kCommonName = "127.0.0.1";
constexpr const char* kAlternativeNames = "IP:127.0.0.1,DNS:localhost";
constexpr long kValiditySeconds = 24L * 60 * 60;
// Covers clock differences between the certificate's start and the check.
constexpr long kBackdateSeconds = 60;

void require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("self-signed certificate: ") + what);
}

}  // namespace

SelfSignedCertificate SelfSignedCertificate::create() {
  SelfSignedCertificate result;
  result.key_.reset(EVP_EC_gen(kCurve));
  require(result.key_ != nullptr, "key generation failed");
  result.certificate_.reset(X509_new());
  X509* certificate = result.certificate_.get();
  require(certificate != nullptr, "X509_new failed");

  require(X509_set_version(certificate, 2) == 1, "version");
  require(ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1) == 1, "serial number");
  require(X509_gmtime_adj(X509_getm_notBefore(certificate), -kBackdateSeconds) != nullptr, "start date");
  require(X509_gmtime_adj(X509_getm_notAfter(certificate), kValiditySeconds) != nullptr, "end date");
  require(X509_set_pubkey(certificate, result.key_.get()) == 1, "public key");

  X509_NAME* name = X509_get_subject_name(certificate);
  require(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kCommonName),
                                     -1, -1, 0) == 1,
          "common name");
  require(X509_set_issuer_name(certificate, name) == 1, "issuer");

  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* alternativeNames = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, kAlternativeNames);
  require(alternativeNames != nullptr, "alternative names");
  int added = X509_add_ext(certificate, alternativeNames, -1);
  X509_EXTENSION_free(alternativeNames);
  require(added == 1, "adding alternative names");

  require(X509_sign(certificate, result.key_.get(), EVP_sha256()) > 0, "signing");
  return result;
}

}  // namespace plexora::testserver
