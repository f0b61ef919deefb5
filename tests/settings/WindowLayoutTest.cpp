#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "TempFolder.h"
#include "settings/SettingsStore.h"
#include "settings/WindowLayout.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(WindowLayout, RoundTripsBesideTheSettingsWithoutTouchingThem) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini, "[POP3]\r\nHOST=pop.example\r\n");
  EXPECT_FALSE(LoadWindowLayout(ini).HasPlace());

  WindowLayout layout{-20, 40, 800, 420, {150, 90, 100}};
  SaveWindowLayout(layout, ini);
  const WindowLayout loaded = LoadWindowLayout(ini);
  EXPECT_TRUE(loaded.HasPlace());
  EXPECT_EQ(loaded.left, -20);
  EXPECT_EQ(loaded.top, 40);
  EXPECT_EQ(loaded.width, 800);
  EXPECT_EQ(loaded.height, 420);
  EXPECT_EQ(loaded.columnWidths, (std::vector<int32_t>{150, 90, 100}));

  PlainSettingsFields fields;
  LoadSettings(fields, ini);
  EXPECT_EQ(fields.host, "pop.example");
  EXPECT_EQ(ReadBytes(ini).find("[POP3]\r\nHOST=pop.example\r\n"), 0u);
}

// The window opens before the settings are loaded: a settings file too large
// to read leaves it where the system puts it, and the settings' load is the
// one that reports the file.
TEST(WindowLayout, ASettingsFileTooLargeToReadGivesNoLayoutWhileTheSettingsFail) {
  TempFolder dir;
  const std::string ini = dir.Path("Vexalo.ini");
  WriteBytes(ini, "[WINDOW]\r\nLEFT=1\r\nTOP=2\r\nWIDTH=3\r\nHEIGHT=4\r\n;" +
                      std::string(2 << 20, 'x') + "\r\n");
  EXPECT_FALSE(LoadWindowLayout(ini).HasPlace());
  PlainSettingsFields fields;
  EXPECT_THROW(LoadSettings(fields, ini), std::runtime_error);
}

TEST(WindowLayout, DamagedValuesAreLeftOut) {
  struct Case {
    const char* section;
    bool hasPlace;
    std::vector<int32_t> widths;
  };
  const Case cases[] = {
      {"LEFT=1\r\nTOP=2\r\nWIDTH=abc\r\nHEIGHT=4\r\nCOLUMNS=100,x,30\r\n", false, {100}},
      {"LEFT=1\r\nTOP=2\r\nWIDTH=3\r\nHEIGHT=4\r\nCOLUMNS=,100\r\n", true, {}},
      {"LEFT=1\r\nTOP=2\r\nHEIGHT=4\r\nCOLUMNS=-5\r\n", false, {}},
      {"LEFT=1\r\nTOP=2\r\nWIDTH=0\r\nHEIGHT=4\r\nCOLUMNS=7,8\r\n", false, {7, 8}},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    const std::string ini = dir.Path("Vexalo.ini");
    WriteBytes(ini, std::string("[WINDOW]\r\n") + c.section);
    const WindowLayout layout = LoadWindowLayout(ini);
    EXPECT_EQ(layout.HasPlace(), c.hasPlace) << c.section;
    EXPECT_EQ(layout.columnWidths, c.widths) << c.section;
  }

  TempFolder dir;
  std::string many = "[WINDOW]\r\nCOLUMNS=1";
  for (int i = 0; i < 1000; ++i) many += ",1";
  WriteBytes(dir.Path("Vexalo.ini"), many + "\r\n");
  EXPECT_LE(LoadWindowLayout(dir.Path("Vexalo.ini")).columnWidths.size(), kMaxStoredColumns);
}

}  // namespace
}  // namespace vexalo
