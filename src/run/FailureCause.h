#pragma once

#include <string>

#include "run/RunReporter.h"

namespace vexalo {

// One line, CP932, that names the likely cause of a run's failure and what
// to do about it ("考えられる原因：..."), chosen by the failure's kind; empty
// for a kind that has no one likely cause. The window adds it to the error box and the
// headless runner prints it after the box's text.
std::string FailureCauseLine(const RunFailure& failure);

}  // namespace vexalo
