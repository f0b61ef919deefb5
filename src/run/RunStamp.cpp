#include "run/RunStamp.h"

#include <cstdio>

namespace vexalo {

std::string FormatRunStamp(const std::tm& local) {
  // Wide enough for any int in every field, so the text is never cut.
  char text[80];
  const long long year = local.tm_year + 1900LL;
  const long long month = local.tm_mon + 1LL;
  if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) {
    std::snprintf(text, sizeof text, "%04lld/%02lld/%02d", year, month, local.tm_mday);
  } else {
    std::snprintf(text, sizeof text, "%04lld/%02lld/%02d %d:%02d:%02d", year, month, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
  }
  return text;
}

std::string RunStampNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FormatRunStamp(local);
}

}  // namespace vexalo
