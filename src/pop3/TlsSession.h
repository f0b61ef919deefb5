#pragma once

#include <openssl/types.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/TlsCertificate.h"

namespace vexalo {

class TAsyncSocket;

// Raised when OpenSSL cannot set up a session or encrypt what is written
// (no memory, no usable cipher); the message is the whole text.
class TlsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How the server's certificate is judged.
struct TlsTrust {
  // The server as the user typed it: a name is sent as SNI and checked
  // against the certificate's names, an IPv4 literal against its addresses.
  std::string hostName;
  // A SHA-256 fingerprint as typed (NormalizeFingerprint). When set, the
  // certificate is trusted exactly when its fingerprint matches: neither the
  // trust store nor the host name is asked. An unreadable pin trusts nothing.
  std::string fingerprint;
};

// The client end of one TLS 1.2+ session over a TAsyncSocket's byte stream.
// OpenSSL works on memory buffers only: the owner feeds it the socket's bytes
// when the socket reports data (PullFrom) and every record it produces goes
// out through the socket's own send queue, so the socket's read and write
// watches on the event loop drive the session and nothing ever blocks.
//
// The certificate is checked once the handshake is done (Trusted), before a
// single byte of the owner's own goes out: the owner must not write when it
// is not trusted. The trust store is OpenSSL's default one, so SSL_CERT_FILE
// and SSL_CERT_DIR apply.
class TlsSession {
 public:
  enum class Progress : std::uint8_t { kHandshaking, kEstablished, kFailed };

  // Sets the session up over `socket`, which must stay connected while the
  // session is used; the first Handshake sends the ClientHello. Raises
  // TlsError.
  TlsSession(const TlsTrust& trust, TAsyncSocket& socket);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // One Receive of the socket's waiting bytes into the session, meant for the
  // socket's data notification. Returns what Receive returned.
  std::int32_t PullFrom(TAsyncSocket& socket);

  // Moves the handshake on with the bytes pulled so far and sends what it
  // produced (raising what the socket's Send raises). kFailed leaves the reason in FailureText.
  // Once kEstablished, it stays so and does nothing more.
  Progress Handshake();

  // At most `size` bytes of decrypted stream, after the handshake. Returns
  // the count, 0 when no whole record is waiting (or the server ended the
  // TLS stream), -1 when the session failed (FailureText).
  std::int32_t ReadPlain(char* buffer, std::int32_t size);
  // Encrypts `text` and queues it on the socket. Raises TlsError, or what
  // the socket's Send raises.
  void WritePlain(std::string_view text);

  // After kEstablished: whether the certificate passed the test TlsTrust
  // describes; FailureText says why not.
  bool Trusted() const;
  bool Established() const { return progress_ == Progress::kEstablished; }
  // The server's certificate, after kEstablished (empty facts without one).
  const TlsCertificateFacts& PeerCertificate() const { return peer_; }
  const std::string& FailureText() const { return failureText_; }
  // The first few bytes the server sent, as they came: a failed handshake
  // can tell a server that speaks no TLS at all from one that spoke it badly.
  std::string_view FirstBytesReceived() const { return firstBytes_; }

 private:
  static int RecordVerifyResult(int preverified, X509_STORE_CTX* context);
  void JudgeCertificate();
  void SendProduced();
  void Fail(std::string_view what);

  TAsyncSocket& socket_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO* fromNetwork_ = nullptr;  // owned by ssl_
  BIO* toNetwork_ = nullptr;    // owned by ssl_
  std::string pin_;
  bool pinned_ = false;
  // The first complaint of the chain check, X509_V_OK when there was none.
  long firstVerifyError_ = 0;
  Progress progress_ = Progress::kHandshaking;
  bool trusted_ = false;
  TlsCertificateFacts peer_;
  std::string failureText_;
  std::string firstBytes_;
  std::vector<char> scratch_;
};

}  // namespace vexalo
