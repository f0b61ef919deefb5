#include "cipher/BlockCipher.h"

#include <algorithm>

#include "cipher/SecureWipe.h"
#include "cipher/Sha1Hash.h"

namespace vexalo {

void TBlockCipher::InitKeyFromText(std::string_view text) {
  TSha1Hash hash;
  WipedBuffer digest(hash.HashSize() / 8);
  hash.HashStart();
  hash.HashUpdate({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  hash.HashFinish(digest.Bytes());
  InitKey(digest.Bytes(), std::min(MaxKeySize(), hash.HashSize()), {});
}

}  // namespace vexalo
