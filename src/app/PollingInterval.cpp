#include "app/PollingInterval.h"

#include <limits>
#include <optional>
#include <stdexcept>

#include "platform/UserTexts.h"
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
  const std::optional<int32_t> minutes = TextToInteger(intervalText);
  if (!minutes) throw std::runtime_error(Cp932Text(UserText::kNotAnInteger, {intervalText}));
  const int ms = PollingIntervalMs(*minutes);
  // QTimer restarts a running countdown on setInterval and on start, so both
  // are called only for a real change.
  if (timer.interval() != ms) timer.setInterval(ms);
  if (ms == 0) {
    timer.stop();
    return;
  }
  if (!timer.isActive()) timer.start();
  if (!timer.isActive()) {
    throw std::runtime_error(Cp932Text(UserText::kNoTimer));
  }
}

}  // namespace vexalo
