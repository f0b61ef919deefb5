#include "settings/ProgramDir.h"

#include <unistd.h>

#include <stdexcept>

namespace vexalo {

std::string ExecutableDir() {
  // readlink does not say whether it cut the path short, so the buffer grows
  // until the answer fits, up to a bound no real path reaches.
  constexpr std::size_t kLimit = 1 << 16;
  for (std::size_t size = 256; size <= kLimit; size *= 2) {
    std::string path(size, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) break;
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path.substr(0, path.rfind('/') + 1);
    }
  }
  throw std::runtime_error("The folder of the executable cannot be found");
}

}  // namespace vexalo
