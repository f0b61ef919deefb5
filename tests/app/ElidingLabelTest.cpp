#include <gtest/gtest.h>

#include "app/ElidingLabel.h"

namespace vexalo {
namespace {

// At every width the shown text is the whole text, or a start of it that
// fits, ending with "…" that never follows a digit: "合計累積データ数：120…"
// of 12034 would read as a smaller count, "…：12034…" as a larger one.
TEST(ElidingLabelTest, NoNumberIsCutOrRunIntoTheEllipsis) {
  const QString full = QStringLiteral(
      "受信完了しました。総メール数：1250　受信対象新規メール数：1180　合計累積データ数：12034");
  ElidingLabel label(nullptr);
  label.SetFullText(full);
  label.show();  // a hidden widget is told of its size only when shown
  const int whole = label.fontMetrics().horizontalAdvance(full);
  bool cutSeen = false;
  for (int width = 0; width <= whole + 20; width += 3) {
    label.resize(width, 20);
    const QString shown = label.text();
    EXPECT_EQ(label.toolTip(), full);
    if (shown == full || shown.isEmpty()) continue;  // empty: not even "…" fits
    cutSeen = true;
    ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    const qsizetype kept = shown.size() - 1;
    EXPECT_TRUE(full.startsWith(shown.left(kept))) << shown.toStdString();
    EXPECT_FALSE(kept > 0 && full[kept - 1].isDigit())
        << "a number just before the cut at width " << width << ": " << shown.toStdString();
    EXPECT_LE(label.fontMetrics().horizontalAdvance(shown), width) << shown.toStdString();
  }
  EXPECT_TRUE(cutSeen);
  label.resize(whole + 20, 20);
  EXPECT_EQ(label.text(), full);
}

}  // namespace
}  // namespace vexalo
