// Replays inputs through a fuzz target's own entry point, compiled into this
// test: the inputs that once crashed it (named fixtures) and its seeds. An
// input that fails a check of the target ends this program, failing the test.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int ReplayFolder(const std::filesystem::path& folder) {
  int replayed = 0;
  if (!std::filesystem::is_directory(folder)) return replayed;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().string());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  return replayed;
}

TEST(FuzzReplay, CrashFixturesAndSeedsPass) {
  const int replayed = ReplayFolder(VEXALO_FUZZ_CRASH_DIR) + ReplayFolder(VEXALO_FUZZ_SEED_DIR);
  EXPECT_GT(replayed, 0) << "no input found for this target";
}

}  // namespace
