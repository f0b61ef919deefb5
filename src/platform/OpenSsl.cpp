#include "platform/OpenSsl.h"

#include <string>

#include "platform/SharedLibrary.h"

namespace vexalo {
namespace {

// The soname of `library` in the version the headers are of.
std::string Soname(const char* library) {
  return std::string(library) + ".so." + std::to_string(OPENSSL_VERSION_MAJOR);
}

OpenSslLibrary LoadOpenSsl() {
  OpenSslLibrary ssl;
  const SharedLibrary crypto(Soname("libcrypto").c_str());
  crypto.Bind("ERR_peek_last_error", ssl.errPeekLastError);
  crypto.Bind("ERR_reason_error_string", ssl.errReasonErrorString);
  crypto.Bind("ERR_clear_error", ssl.errClearError);
  crypto.Bind("BIO_new", ssl.bioNew);
  crypto.Bind("BIO_s_mem", ssl.bioSMem);
  crypto.Bind("BIO_free", ssl.bioFree);
  crypto.Bind("BIO_ctrl", ssl.bioCtrl);
  crypto.Bind("BIO_write", ssl.bioWrite);
  crypto.Bind("X509_VERIFY_PARAM_set1_ip_asc", ssl.x509VerifyParamSet1IpAsc);
  crypto.Bind("X509_STORE_CTX_get_ex_data", ssl.x509StoreCtxGetExData);
  crypto.Bind("X509_STORE_CTX_get_error", ssl.x509StoreCtxGetError);
  crypto.Bind("X509_free", ssl.x509Free);
  crypto.Bind("X509_verify_cert_error_string", ssl.x509VerifyCertErrorString);
  crypto.Bind("X509_NAME_print_ex", ssl.x509NamePrintEx);
  crypto.Bind("X509_digest", ssl.x509Digest);
  crypto.Bind("X509_get_subject_name", ssl.x509GetSubjectName);
  crypto.Bind("X509_get_issuer_name", ssl.x509GetIssuerName);
  crypto.Bind("X509_get0_notBefore", ssl.x509Get0NotBefore);
  crypto.Bind("X509_get0_notAfter", ssl.x509Get0NotAfter);
  crypto.Bind("ASN1_TIME_to_tm", ssl.asn1TimeToTm);
  crypto.Bind("EVP_sha256", ssl.evpSha256);
  crypto.Bind("RAND_bytes", ssl.randBytes);
  crypto.Bind("SHA256", ssl.sha256);
  const SharedLibrary library(Soname("libssl").c_str());
  library.Bind("TLS_client_method", ssl.tlsClientMethod);
  library.Bind("SSL_CTX_new", ssl.sslCtxNew);
  library.Bind("SSL_CTX_free", ssl.sslCtxFree);
  library.Bind("SSL_CTX_ctrl", ssl.sslCtxCtrl);
  library.Bind("SSL_CTX_set_default_verify_paths", ssl.sslCtxSetDefaultVerifyPaths);
  library.Bind("SSL_CTX_set_verify", ssl.sslCtxSetVerify);
  library.Bind("SSL_new", ssl.sslNew);
  library.Bind("SSL_free", ssl.sslFree);
  library.Bind("SSL_ctrl", ssl.sslCtrl);
  library.Bind("SSL_set_bio", ssl.sslSetBio);
  library.Bind("SSL_set_ex_data", ssl.sslSetExData);
  library.Bind("SSL_get_ex_data", ssl.sslGetExData);
  library.Bind("SSL_get_ex_data_X509_STORE_CTX_idx", ssl.sslGetExDataX509StoreCtxIdx);
  library.Bind("SSL_get0_param", ssl.sslGet0Param);
  library.Bind("SSL_set1_host", ssl.sslSet1Host);
  library.Bind("SSL_set_connect_state", ssl.sslSetConnectState);
  library.Bind("SSL_do_handshake", ssl.sslDoHandshake);
  library.Bind("SSL_get_error", ssl.sslGetError);
  library.Bind("SSL_get1_peer_certificate", ssl.sslGet1PeerCertificate);
  library.Bind("SSL_read", ssl.sslRead);
  library.Bind("SSL_write", ssl.sslWrite);
  return ssl;
}

}  // namespace

const OpenSslLibrary& OpenSsl() {
  static const OpenSslLibrary ssl = LoadOpenSsl();
  return ssl;
}

}  // namespace vexalo
