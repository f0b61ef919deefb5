#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "run/TakenHeaders.h"

namespace vexalo {
namespace {

const std::string kDigestA(32, 'a');
const std::string kDigestB(32, 'b');
const std::string kDigestC(32, 'c');

// A deleting run appends proofs as it goes and a crash may cut the last
// line; what reads back decides which mails a later run may delete again.
TEST(TakenHeadersFile, AppendedProofsReadBackAndACutLastLineIsLeftOut) {
  const struct {
    const char* what;
    std::string bytes;
    TakenHeaders expected;
  } cases[] = {
      {"a later line stands over an earlier one",
       "id-1 " + kDigestA + "\r\nid-2 " + kDigestB + "\r\nid-1 " + kDigestC + "\r\n",
       {{"id-1", kDigestC}, {"id-2", kDigestB}}},
      {"a last line cut while appended is left out",
       "id-1 " + kDigestA + "\r\nid-2 " + kDigestB.substr(0, 10),
       {{"id-1", kDigestA}}},
      {"a damaged line before the last proves nothing at all",
       "id-1 " + kDigestA + "\r\nid-2 xyz\r\nid-3 " + kDigestC + "\r\n",
       {}},
  };
  for (const auto& c : cases) {
    testing::TempFolder folder;
    testing::WriteBytes(folder.Path(kTakenHeadersFileName), c.bytes);
    EXPECT_EQ(LoadTakenHeaders(folder.Path(kTakenHeadersFileName)), c.expected) << c.what;
  }
}

TEST(TakenHeadersFile, AppendingAddsTheProofsOfTheIdsGiven) {
  testing::TempFolder folder;
  const std::string path = folder.Path(kTakenHeadersFileName);
  SaveTakenHeaders(path, {{"id-2", kDigestB}, {"id-1", kDigestA}});
  AppendTakenHeaders(path, {{"id-3", kDigestC}, {"id-1", kDigestA}, {"id 4", kDigestC}},
                     {"id-3", "id-unknown", "id 4"});
  EXPECT_EQ(testing::ReadBytes(path),
            "id-1 " + kDigestA + "\r\nid-2 " + kDigestB + "\r\nid-3 " + kDigestC + "\r\n");
}

// The file is written a piece at a time: a mailbox's worth of proofs, many
// pieces long, comes out whole, in id order, and only storable ones.
TEST(TakenHeadersFile, ManyProofsAreSavedWholeInIdOrder) {
  testing::TempFolder folder;
  const std::string path = folder.Path(kTakenHeadersFileName);
  TakenHeaders digests{{"bad id", kDigestA}, {"id-bad-digest", "xyz"}};
  std::string expected;
  for (int n = 10000; n < 15000; ++n) {
    const std::string id = "id-" + std::to_string(n);
    digests[id] = kDigestB;
    expected += id + " " + kDigestB + "\r\n";
  }
  SaveTakenHeaders(path, digests);
  EXPECT_EQ(testing::ReadBytes(path), expected);
}

}  // namespace
}  // namespace vexalo
