#pragma once

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace vexalo {

// The OpenSSL functions this program calls, from libssl and libcrypto
// loaded when first needed: linked, the two cost every start-up about four
// milliseconds, a poll without TLS included. OpenSSL's macros over its
// control calls are spelled out where they are used (SSL_ctrl, BIO_ctrl …),
// since they name the linked functions.
struct OpenSslLibrary {
  // libcrypto
  decltype(&ERR_peek_last_error) errPeekLastError = nullptr;
  decltype(&ERR_reason_error_string) errReasonErrorString = nullptr;
  decltype(&ERR_clear_error) errClearError = nullptr;
  decltype(&BIO_new) bioNew = nullptr;
  decltype(&BIO_s_mem) bioSMem = nullptr;
  decltype(&BIO_free) bioFree = nullptr;
  decltype(&BIO_ctrl) bioCtrl = nullptr;
  decltype(&BIO_write) bioWrite = nullptr;
  decltype(&X509_VERIFY_PARAM_set1_ip_asc) x509VerifyParamSet1IpAsc = nullptr;
  decltype(&X509_STORE_CTX_get_ex_data) x509StoreCtxGetExData = nullptr;
  decltype(&X509_STORE_CTX_get_error) x509StoreCtxGetError = nullptr;
  decltype(&X509_free) x509Free = nullptr;
  decltype(&X509_verify_cert_error_string) x509VerifyCertErrorString = nullptr;
  decltype(&X509_NAME_print_ex) x509NamePrintEx = nullptr;
  decltype(&X509_digest) x509Digest = nullptr;
  decltype(&X509_get_subject_name) x509GetSubjectName = nullptr;
  decltype(&X509_get_issuer_name) x509GetIssuerName = nullptr;
  decltype(&X509_get0_notBefore) x509Get0NotBefore = nullptr;
  decltype(&X509_get0_notAfter) x509Get0NotAfter = nullptr;
  decltype(&ASN1_TIME_to_tm) asn1TimeToTm = nullptr;
  decltype(&EVP_sha256) evpSha256 = nullptr;
  decltype(&RAND_bytes) randBytes = nullptr;
  decltype(&SHA256) sha256 = nullptr;
  // libssl
  decltype(&TLS_client_method) tlsClientMethod = nullptr;
  decltype(&SSL_CTX_new) sslCtxNew = nullptr;
  decltype(&SSL_CTX_free) sslCtxFree = nullptr;
  decltype(&SSL_CTX_ctrl) sslCtxCtrl = nullptr;
  decltype(&SSL_CTX_set_default_verify_paths) sslCtxSetDefaultVerifyPaths = nullptr;
  decltype(&SSL_CTX_set_verify) sslCtxSetVerify = nullptr;
  decltype(&SSL_new) sslNew = nullptr;
  decltype(&SSL_free) sslFree = nullptr;
  decltype(&SSL_ctrl) sslCtrl = nullptr;
  decltype(&SSL_set_bio) sslSetBio = nullptr;
  decltype(&SSL_set_ex_data) sslSetExData = nullptr;
  decltype(&SSL_get_ex_data) sslGetExData = nullptr;
  decltype(&SSL_get_ex_data_X509_STORE_CTX_idx) sslGetExDataX509StoreCtxIdx = nullptr;
  decltype(&SSL_get0_param) sslGet0Param = nullptr;
  decltype(&SSL_set1_host) sslSet1Host = nullptr;
  decltype(&SSL_set_connect_state) sslSetConnectState = nullptr;
  decltype(&SSL_do_handshake) sslDoHandshake = nullptr;
  decltype(&SSL_get_error) sslGetError = nullptr;
  decltype(&SSL_get1_peer_certificate) sslGet1PeerCertificate = nullptr;
  decltype(&SSL_read) sslRead = nullptr;
  decltype(&SSL_write) sslWrite = nullptr;
};

// Loaded on the first call (a load that failed is tried again on the
// next). Raises std::runtime_error naming the library that cannot be loaded
// or the function it lacks.
const OpenSslLibrary& OpenSsl();

}  // namespace vexalo
