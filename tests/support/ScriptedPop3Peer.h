#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "pop3/EventLoop.h"

namespace vexalo {

// A POP3 server stand-in for tests that plays a script of exact bytes, so a
// test reads as the dialogue it checks:
//
//   using namespace vexalo::script;
//   ScriptedPop3Peer peer(loop, {
//       Send("+OK ready\r\n"),
//       Expect("USER bob"),
//       Send("-ERR no such user\r\n"),
//       Close(),
//   });
//
// It listens on 127.0.0.1 (or ::1) on a port of the system's choosing (Port()),
// accepts one connection and runs on the test's event loop, so it never races
// the client: nothing happens unless the loop runs. Steps play in order: Send
// writes its bytes (in pieces of `pieceSize` bytes, one piece every other loop
// round, when a piece size is given); Expect waits for the next line the
// client sends (compared without its CR LF) and records a problem when it
// differs; Close ends the connection in order (FIN) without waiting for the
// client. A line the client sends after the script has run out is a problem
// too. The peer closes everything it opened when destroyed, and the test's
// time-out on the loop bounds every wait.
class ScriptedPop3Peer {
 public:
  struct Step {
    enum class Kind { send, expect, close } kind;
    std::string bytes;  // to send, or the expected line
    size_t pieceSize = 0;
  };

  enum class Loopback { kIpv4, kIpv6 };  // 127.0.0.1 or ::1

  // Raises std::system_error when the listening socket cannot be set up
  // (on a machine without IPv6, for ::1).
  ScriptedPop3Peer(EventLoop& loop, std::vector<Step> steps, Loopback loopback = Loopback::kIpv4);
  ~ScriptedPop3Peer();
  ScriptedPop3Peer(const ScriptedPop3Peer&) = delete;
  ScriptedPop3Peer& operator=(const ScriptedPop3Peer&) = delete;

  uint16_t Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }

  // Every step has played (the last Send written out, the last Expect met).
  bool Finished() const {
    return nextStep_ == script_.size() && output_.empty() && dripRest_.empty();
  }
  // What went against the script, one sentence per problem; empty when all
  // went as written.
  const std::string& Problems() const { return problems_; }
  // The client has closed its end.
  bool ClientClosed() const { return clientClosed_; }

 private:
  void Accept();
  void OnConnectionReady(bool readable, bool writable);
  void ReadFromClient();
  void Advance();
  void Flush();
  void ScheduleNextPiece();
  void UpdateWatch();
  void CloseConnection();
  void Complain(const std::string& problem);

  EventLoop& loop_;
  std::vector<Step> script_;
  size_t nextStep_ = 0;
  int listenFd_ = -1;
  int connFd_ = -1;
  uint16_t port_ = 0;
  std::string received_;                 // client bytes not yet cut into lines
  std::deque<std::string> clientLines_;  // lines not yet matched
  std::string output_;                   // bytes to write, in order
  std::string dripRest_;                 // the rest of a Send that goes in pieces
  size_t dripPieceSize_ = 0;
  bool dripWaiting_ = false;
  bool shutDown_ = false;
  bool clientClosed_ = false;
  std::string problems_;
  // Calls posted to the loop hold this weakly and do nothing once it is gone.
  std::shared_ptr<ScriptedPop3Peer*> alive_;
};

// The steps of a script.
namespace script {
ScriptedPop3Peer::Step Send(std::string bytes);
ScriptedPop3Peer::Step SendInPieces(std::string bytes, size_t pieceSize);
ScriptedPop3Peer::Step Expect(std::string line);
ScriptedPop3Peer::Step Close();
}  // namespace script

}  // namespace vexalo
