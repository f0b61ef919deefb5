#pragma once

#include <QTimer>
#include <string_view>

namespace vexalo {

// The polling timer's interval for a count of minutes: 60000 ms each. A
// negative count means no polling, like 0. Counts beyond the longest interval
// a timer can hold (about 24 days) get that longest interval rather than a
// product that would wrap around to some short one.
int PollingIntervalMs(int32_t minutes);

// Sets the polling timer from the interval text (minutes, TextToInteger's rules):
// running every interval when it is not 0, stopped when it is. An unchanged
// interval leaves a running countdown alone; a changed one restarts it.
// Raises "'<text>' は整数ではありません" for a text that is no integer, with the timer left
// as it was, and "タイマーを取得できません" when the timer cannot be started.
void ApplyIntervalText(QTimer& timer, std::string_view intervalText);

}  // namespace vexalo
