// A data folder another user may write: nothing planted there under the name
// of a temporary file is followed or overwritten, and every file the program
// creates (orders hold names, addresses and phone numbers) is its user's alone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "run/UnpickedIds.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/RunLock.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

constexpr char kTrigger[] = "X-VEXALO: default";

// Sets the process's umask while it lives.
class Umask {
 public:
  explicit Umask(mode_t mask) : before_(::umask(mask)) {}
  ~Umask() { ::umask(before_); }
  Umask(const Umask&) = delete;
  Umask& operator=(const Umask&) = delete;

 private:
  mode_t before_;
};

mode_t PermissionBits(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 07777;
  return info.st_mode & 07777;
}

void SaveTitles(const std::string& path) {
  DataTable table;
  table.SetRow(0, {"", "", "new"});
  SaveFirstRow(table, path);
}

void SaveUnpicked(const std::string& path) { SaveUnpickedIds(path, kTrigger, {"id-1"}); }

// Each file a run replaces as a whole, with the name its temporary file had
// before it was given a random one.
struct ReplacedFile {
  const char* name;
  std::function<void(const std::string& path)> save;
  std::string saved;  // what the file holds afterwards
};

std::vector<ReplacedFile> ReplacedFiles() {
  return {
      {kFirstRowFileName, SaveTitles, ",,new\r\n"},
      {kUnpickedFileName, SaveUnpicked, std::string(kTrigger) + "\r\nid-1\r\n"},
  };
}

// What another user may plant under the name the temporary file once had.
enum class Planted { kLinkToAFile, kLinkToNothing, kPlainFile };

TEST(SharedFolder, PlantedTemporaryLinkOrFileIsNeitherFollowedNorTouched) {
  for (const ReplacedFile& file : ReplacedFiles()) {
    for (const Planted planted :
         {Planted::kLinkToAFile, Planted::kLinkToNothing, Planted::kPlainFile}) {
      const std::string what =
          std::string(file.name) + " " + std::to_string(static_cast<int>(planted));
      TempFolder folder;
      const std::string path = folder.Path(file.name);
      const std::string plant = path + ".tmp";
      const std::string victim = folder.Path("victim");
      switch (planted) {
        case Planted::kLinkToAFile:
          WriteBytes(victim, "precious\n");
          fs::create_symlink(victim, plant);
          break;
        case Planted::kLinkToNothing:
          fs::create_symlink(victim, plant);
          break;
        case Planted::kPlainFile:
          WriteBytes(plant, "planted\n");
          break;
      }

      file.save(path);

      EXPECT_EQ(ReadBytes(path), file.saved) << what;
      EXPECT_FALSE(fs::is_symlink(path)) << what;
      if (planted == Planted::kPlainFile) {
        EXPECT_EQ(ReadBytes(plant), "planted\n") << what;
      } else {
        EXPECT_TRUE(fs::is_symlink(plant)) << what;
        EXPECT_EQ(fs::read_symlink(plant), victim) << what;
      }
      if (planted == Planted::kLinkToAFile) {
        EXPECT_EQ(ReadBytes(victim), "precious\n") << what;
      } else if (planted == Planted::kLinkToNothing) {
        EXPECT_FALSE(fs::exists(victim)) << what;  // not made through the link either
      }
      // No temporary file of our own stays behind.
      for (const auto& entry : fs::directory_iterator(folder.Root())) {
        const std::string name = entry.path().string();
        EXPECT_TRUE(name == path || name == plant || name == victim) << what << ": " << name;
      }
    }
  }
}

TEST(SharedFolder, FilesTheProgramCreatesAreTheUsersAlone) {
  const Umask permissive(022);
  TempFolder folder;
  const std::string allData = folder.Path(kAllDataFileName);
  AppendLine(allData, "s,id-1");
  for (const ReplacedFile& file : ReplacedFiles()) file.save(folder.Path(file.name));
  RunLock lock;
  ASSERT_TRUE(lock.TryAcquire(allData + kRunLockSuffix, allData));

  const std::string names[] = {kAllDataFileName, kFirstRowFileName, kUnpickedFileName,
                               kAllDataFileName + std::string(kRunLockSuffix)};
  for (const std::string& name : names) {
    EXPECT_EQ(PermissionBits(folder.Path(name)), 0600u) << name;
  }
}

// The user chose who may read a file that is there already: a file replaced
// as a whole keeps his choice.
TEST(SharedFolder, ReplacedFileKeepsThePermissionsItHad) {
  for (const ReplacedFile& file : ReplacedFiles()) {
    TempFolder folder;
    const std::string path = folder.Path(file.name);
    WriteBytes(path, "old\r\n");
    ::chmod(path.c_str(), 0640);
    file.save(path);
    EXPECT_EQ(ReadBytes(path), file.saved) << file.name;
    EXPECT_EQ(PermissionBits(path), 0640u) << file.name;
  }
}

}  // namespace
}  // namespace vexalo
