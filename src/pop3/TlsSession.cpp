#include "pop3/TlsSession.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <optional>

#include "pop3/AsyncSocket.h"
#include "pop3/SocketResolve.h"

namespace vexalo {
namespace {

// A TLS record is at most 16 KB of payload plus its overhead; reading a few
// at a time keeps the socket's passes few on a fast link.
constexpr std::int32_t kPullSize = 64 * 1024;
// Enough to know a POP3 status line ("+OK", "-ERR").
constexpr std::size_t kFirstBytesKept = 4;

// The address a host given as one is ("10.0.0.1", "::1" for "[::1]"), or
// nothing for a name.
std::optional<std::string> AddressOfLiteral(const std::string& host) {
  in_addr address{};
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return host;
  if (const std::optional<HostAddress> v6 = ParseIpv6Literal(host)) return AddressText(*v6);
  return std::nullopt;
}

// OpenSSL's reason for the last failure, e.g. "wrong version number".
std::string LastErrorReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : "connection closed";
}

}  // namespace

TlsSession::TlsSession(const TlsTrust& trust, TAsyncSocket& socket)
    : socket_(socket),
      pin_(NormalizeFingerprint(trust.fingerprint)),
      pinned_(!trust.fingerprint.empty()) {
  ERR_clear_error();
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) throw TlsError("TLS: " + LastErrorReason());
  // A session copies these from its context when it is made.
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  // A missing store is not fatal here: every chain then fails the check,
  // which a pinned fingerprint does not ask.
  SSL_CTX_set_default_verify_paths(context_);
  // The chain is judged after the handshake, not inside it, so that an
  // untrusted certificate can still be shown to the user who may pin it.
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, &TlsSession::RecordVerifyResult);
  ssl_ = SSL_new(context_);
  fromNetwork_ = BIO_new(BIO_s_mem());
  toNetwork_ = BIO_new(BIO_s_mem());
  if (ssl_ == nullptr || fromNetwork_ == nullptr || toNetwork_ == nullptr) {
    BIO_free(fromNetwork_);
    BIO_free(toNetwork_);
    SSL_free(ssl_);
    SSL_CTX_free(context_);
    throw TlsError("TLS: " + LastErrorReason());
  }
  // An empty input buffer means "more to come", not the end of the stream:
  // the socket reports the end by itself.
  BIO_set_mem_eof_return(fromNetwork_, -1);
  SSL_set_bio(ssl_, fromNetwork_, toNetwork_);
  SSL_set_app_data(ssl_, this);
  if (const std::optional<std::string> address = AddressOfLiteral(trust.hostName)) {
    // An address is checked against the certificate's IP entries, and is
    // never sent as a server name.
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), address->c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, trust.hostName.c_str());
    SSL_set1_host(ssl_, trust.hostName.c_str());
  }
  SSL_set_connect_state(ssl_);
}

TlsSession::~TlsSession() {
  SSL_free(ssl_);
  SSL_CTX_free(context_);
}

int TlsSession::RecordVerifyResult(int preverified, X509_STORE_CTX* context) {
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(context, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* session = static_cast<TlsSession*>(SSL_get_app_data(ssl));
  if (preverified == 0 && session->firstVerifyError_ == X509_V_OK) {
    session->firstVerifyError_ = X509_STORE_CTX_get_error(context);
  }
  return 1;
}

std::int32_t TlsSession::PullFrom(TAsyncSocket& socket) {
  scratch_.resize(kPullSize);
  const std::int32_t got = socket.Receive(scratch_.data(), kPullSize);
  if (got > 0) {
    BIO_write(fromNetwork_, scratch_.data(), got);
    const size_t wanted = std::min<size_t>(kFirstBytesKept - firstBytes_.size(), got);
    firstBytes_.append(scratch_.data(), wanted);
  }
  return got;
}

TlsSession::Progress TlsSession::Handshake() {
  if (progress_ != Progress::kHandshaking) return progress_;
  ERR_clear_error();
  const int result = SSL_do_handshake(ssl_);
  SendProduced();
  if (result == 1) {
    progress_ = Progress::kEstablished;
    JudgeCertificate();
    return progress_;
  }
  const int error = SSL_get_error(ssl_, result);
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
    Fail("TLS handshake failed: ");
  }
  return progress_;
}

void TlsSession::JudgeCertificate() {
  X509* certificate = SSL_get1_peer_certificate(ssl_);
  peer_ = DescribeCertificate(certificate);
  X509_free(certificate);
  if (certificate == nullptr) {
    failureText_ = "TLS certificate not trusted: the server sent none";
  } else if (pinned_) {
    trusted_ = !pin_.empty() && NormalizeFingerprint(peer_.fingerprint) == pin_;
    if (!trusted_) failureText_ = "TLS certificate not trusted: its fingerprint is not the one set";
  } else {
    trusted_ = firstVerifyError_ == X509_V_OK;
    if (!trusted_) {
      failureText_ = std::string("TLS certificate not trusted: ") +
                     X509_verify_cert_error_string(firstVerifyError_);
    }
  }
}

bool TlsSession::Trusted() const { return progress_ == Progress::kEstablished && trusted_; }

std::int32_t TlsSession::ReadPlain(char* buffer, std::int32_t size) {
  if (progress_ != Progress::kEstablished || size <= 0)
    return progress_ == Progress::kFailed ? -1 : 0;
  ERR_clear_error();
  const int got = SSL_read(ssl_, buffer, size);
  if (got > 0) return got;
  const int error = SSL_get_error(ssl_, got);
  // Post-handshake messages (session tickets, key updates) may want a reply.
  SendProduced();
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ||
      error == SSL_ERROR_ZERO_RETURN) {
    return 0;
  }
  Fail("TLS read failed: ");
  return -1;
}

void TlsSession::WritePlain(std::string_view text) {
  if (text.empty()) return;
  ERR_clear_error();
  // Memory buffers take every record at once, so one call writes it all.
  if (SSL_write(ssl_, text.data(), static_cast<int>(text.size())) <= 0) {
    Fail("TLS write failed: ");
    throw TlsError(failureText_);
  }
  SendProduced();
}

void TlsSession::SendProduced() {
  char* data = nullptr;
  const long size = BIO_get_mem_data(toNetwork_, &data);
  if (size <= 0) return;
  socket_.Send(data, static_cast<std::int32_t>(size));
  (void)BIO_reset(toNetwork_);
}

void TlsSession::Fail(std::string_view what) {
  progress_ = Progress::kFailed;
  failureText_ = std::string(what) + LastErrorReason();
}

}  // namespace vexalo
