#pragma once

#include <string>

#include "run/RunReporter.h"

namespace vexalo {

// One line, CP932, that names the likely cause of a run's failure and what
// to do about it ("考えられる原因：..."), chosen from the failure's completion
// code, the step that failed and the system's text; empty when the failure
// fits none of the known causes. The window adds it to the error box and the
// headless runner prints it after the box's text.
std::string FailureCauseLine(const RunFailure& failure);

}  // namespace vexalo
