#include "app/PollingInterval.h"

#include <limits>
#include <stdexcept>

#include "text/IntegerText.h"

namespace vexalo {

namespace {

constexpr int kMsPerMinute = 60000;

}  // namespace

int PollingIntervalMs(int32_t minutes) {
  if (minutes <= 0) return 0;
  constexpr int kLongest = std::numeric_limits<int>::max();
  if (minutes > kLongest / kMsPerMinute) return kLongest;
  return minutes * kMsPerMinute;
}

void ApplyIntervalText(QTimer& timer, std::string_view intervalText) {
  const int ms = PollingIntervalMs(StrToInt(intervalText));
  // QTimer restarts a running countdown on setInterval and on start, so both
  // are called only for a real change.
  if (timer.interval() != ms) timer.setInterval(ms);
  if (ms == 0) {
    timer.stop();
    return;
  }
  if (!timer.isActive()) timer.start();
  if (!timer.isActive()) {
    // "タイマーを取得できません": "cannot get a timer"
    throw std::runtime_error(
        "\x83\x5e\x83\x43\x83\x7d\x81\x5b\x82\xf0\x8e\xe6\x93\xbe\x82\xc5"
        "\x82\xab\x82\xdc\x82\xb9\x82\xf1");
  }
}

}  // namespace vexalo
