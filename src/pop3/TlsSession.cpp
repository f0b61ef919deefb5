#include "pop3/TlsSession.h"

#include <arpa/inet.h>

#include <algorithm>
#include <optional>

#include "platform/OpenSsl.h"
#include "pop3/AsyncSocket.h"
#include "pop3/SocketResolve.h"

namespace vexalo {
namespace {

// A TLS record is at most 16 KB of payload plus its overhead; reading a few
// at a time keeps the socket's passes few on a fast link.
constexpr std::int32_t kPullSize = 64 * 1024;
// Enough to know a POP3 status line ("+OK", "-ERR").
constexpr std::size_t kFirstBytesKept = 4;
// Where a connection keeps its session (SSL_set_app_data's place).
constexpr int kSessionIndex = 0;

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
  const unsigned long code = OpenSsl().errPeekLastError();
  const char* reason = code != 0 ? OpenSsl().errReasonErrorString(code) : nullptr;
  return reason != nullptr ? reason : "connection closed";
}

// OpenSSL, loaded when the first session needs it.
const OpenSslLibrary& LoadedOpenSsl() {
  try {
    return OpenSsl();
  } catch (const std::runtime_error& error) {
    throw TlsError(std::string("TLS: ") + error.what());
  }
}

}  // namespace

TlsSession::TlsSession(const TlsTrust& trust, TAsyncSocket& socket)
    : socket_(socket),
      pin_(NormalizeFingerprint(trust.fingerprint)),
      pinned_(!trust.fingerprint.empty()) {
  const OpenSslLibrary& ssl = LoadedOpenSsl();
  ssl.errClearError();
  context_ = ssl.sslCtxNew(ssl.tlsClientMethod());
  if (context_ == nullptr) throw TlsError("TLS: " + LastErrorReason());
  // A session copies these from its context when it is made
  // (SSL_CTX_set_min_proto_version).
  ssl.sslCtxCtrl(context_, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  // A missing store is not fatal here: every chain then fails the check,
  // which a pinned fingerprint does not ask.
  ssl.sslCtxSetDefaultVerifyPaths(context_);
  // The chain is judged after the handshake, not inside it, so that an
  // untrusted certificate can still be shown to the user who may pin it.
  ssl.sslCtxSetVerify(context_, SSL_VERIFY_PEER, &TlsSession::RecordVerifyResult);
  ssl_ = ssl.sslNew(context_);
  fromNetwork_ = ssl.bioNew(ssl.bioSMem());
  toNetwork_ = ssl.bioNew(ssl.bioSMem());
  if (ssl_ == nullptr || fromNetwork_ == nullptr || toNetwork_ == nullptr) {
    ssl.bioFree(fromNetwork_);
    ssl.bioFree(toNetwork_);
    ssl.sslFree(ssl_);
    ssl.sslCtxFree(context_);
    throw TlsError("TLS: " + LastErrorReason());
  }
  // An empty input buffer means "more to come", not the end of the stream:
  // the socket reports the end by itself (BIO_set_mem_eof_return).
  ssl.bioCtrl(fromNetwork_, BIO_C_SET_BUF_MEM_EOF_RETURN, -1, nullptr);
  ssl.sslSetBio(ssl_, fromNetwork_, toNetwork_);
  ssl.sslSetExData(ssl_, kSessionIndex, this);
  if (const std::optional<std::string> address = AddressOfLiteral(trust.hostName)) {
    // An address is checked against the certificate's IP entries, and is
    // never sent as a server name.
    ssl.x509VerifyParamSet1IpAsc(ssl.sslGet0Param(ssl_), address->c_str());
  } else {
    // SSL_set_tlsext_host_name
    ssl.sslCtrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                const_cast<char*>(trust.hostName.c_str()));
    ssl.sslSet1Host(ssl_, trust.hostName.c_str());
  }
  ssl.sslSetConnectState(ssl_);
}

TlsSession::~TlsSession() {
  OpenSsl().sslFree(ssl_);
  OpenSsl().sslCtxFree(context_);
}

int TlsSession::RecordVerifyResult(int preverified, X509_STORE_CTX* context) {
  const OpenSslLibrary& ssl = OpenSsl();
  auto* connection =
      static_cast<SSL*>(ssl.x509StoreCtxGetExData(context, ssl.sslGetExDataX509StoreCtxIdx()));
  auto* session = static_cast<TlsSession*>(ssl.sslGetExData(connection, kSessionIndex));
  if (preverified == 0 && session->firstVerifyError_ == X509_V_OK) {
    session->firstVerifyError_ = ssl.x509StoreCtxGetError(context);
  }
  return 1;
}

std::int32_t TlsSession::PullFrom(TAsyncSocket& socket) {
  scratch_.resize(kPullSize);
  const std::int32_t got = socket.Receive(scratch_.data(), kPullSize);
  if (got > 0) {
    OpenSsl().bioWrite(fromNetwork_, scratch_.data(), got);
    const size_t wanted = std::min<size_t>(kFirstBytesKept - firstBytes_.size(), got);
    firstBytes_.append(scratch_.data(), wanted);
  }
  return got;
}

TlsSession::Progress TlsSession::Handshake() {
  if (progress_ != Progress::kHandshaking) return progress_;
  OpenSsl().errClearError();
  const int result = OpenSsl().sslDoHandshake(ssl_);
  SendProduced();
  if (result == 1) {
    progress_ = Progress::kEstablished;
    JudgeCertificate();
    return progress_;
  }
  const int error = OpenSsl().sslGetError(ssl_, result);
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
    Fail("TLS handshake failed: ");
  }
  return progress_;
}

void TlsSession::JudgeCertificate() {
  X509* certificate = OpenSsl().sslGet1PeerCertificate(ssl_);
  peer_ = DescribeCertificate(certificate);
  OpenSsl().x509Free(certificate);
  if (certificate == nullptr) {
    failureText_ = "TLS certificate not trusted: the server sent none";
  } else if (pinned_) {
    trusted_ = !pin_.empty() && NormalizeFingerprint(peer_.fingerprint) == pin_;
    if (!trusted_) failureText_ = "TLS certificate not trusted: its fingerprint is not the one set";
  } else {
    trusted_ = firstVerifyError_ == X509_V_OK;
    if (!trusted_) {
      failureText_ = std::string("TLS certificate not trusted: ") +
                     OpenSsl().x509VerifyCertErrorString(firstVerifyError_);
    }
  }
}

bool TlsSession::Trusted() const { return progress_ == Progress::kEstablished && trusted_; }

std::int32_t TlsSession::ReadPlain(char* buffer, std::int32_t size) {
  if (progress_ != Progress::kEstablished || size <= 0)
    return progress_ == Progress::kFailed ? -1 : 0;
  OpenSsl().errClearError();
  const int got = OpenSsl().sslRead(ssl_, buffer, size);
  if (got > 0) return got;
  const int error = OpenSsl().sslGetError(ssl_, got);
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
  OpenSsl().errClearError();
  // Memory buffers take every record at once, so one call writes it all.
  if (OpenSsl().sslWrite(ssl_, text.data(), static_cast<int>(text.size())) <= 0) {
    Fail("TLS write failed: ");
    throw TlsError(failureText_);
  }
  SendProduced();
}

void TlsSession::SendProduced() {
  char* data = nullptr;
  const long size = OpenSsl().bioCtrl(toNetwork_, BIO_CTRL_INFO, 0, &data);  // BIO_get_mem_data
  if (size <= 0) return;
  socket_.Send(data, static_cast<std::int32_t>(size));
  OpenSsl().bioCtrl(toNetwork_, BIO_CTRL_RESET, 0, nullptr);
}

void TlsSession::Fail(std::string_view what) {
  progress_ = Progress::kFailed;
  failureText_ = std::string(what) + LastErrorReason();
}

}  // namespace vexalo
