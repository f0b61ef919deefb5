#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace vexalo {

// Base of the message digests. A digest is computed by HashStart, any number
// of HashUpdate calls and one HashFinish; after HashFinish the object must be
// started again before it is reused. Misuse raises std::runtime_error with an
// English message ("<Algorithm>: Not initialized").
class THashAlgorithm {
 public:
  virtual ~THashAlgorithm() = default;
  THashAlgorithm(const THashAlgorithm&) = delete;
  THashAlgorithm& operator=(const THashAlgorithm&) = delete;

  // Read-only properties: the setters accept a value and ignore it, so the
  // values always stay those of the concrete class.
  const std::string& Algorithm() const { return algorithm_; }
  void SetAlgorithm(std::string_view /*ignored*/) {}
  int HashSize() const { return hashSizeBits_; }  // digest size in bits
  virtual void SetHashSize(int /*ignored*/) {}

  // Wipes any previous state and loads the initial state.
  virtual void HashStart() = 0;
  // Overwrites the whole state with 0xFF and marks the object not started.
  virtual void HashWipe() = 0;
  // Adds bytes to the message. Raises when not started.
  virtual void HashUpdate(std::span<const std::uint8_t> bytes) = 0;
  // Writes HashSize() / 8 bytes of digest to the front of `digest` and wipes
  // the state. Raises when not started; raises std::invalid_argument when
  // `digest` is shorter than the digest.
  virtual void HashFinish(std::span<std::uint8_t> digest) = 0;

 protected:
  THashAlgorithm(std::string algorithm, int hashSizeBits)
      : algorithm_(std::move(algorithm)), hashSizeBits_(hashSizeBits) {}

 private:
  const std::string algorithm_;
  const int hashSizeBits_;
};

}  // namespace vexalo
