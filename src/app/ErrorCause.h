#pragma once

#include <QString>

#include "run/RunReporter.h"

namespace vexalo {

// One plain line that names the likely cause of a run's failure and what to
// do about it, chosen from the failure's completion code, the step that
// failed and the system's text; empty when the failure fits none of the
// known causes.
QString ErrorCauseLine(const RunFailure& failure);

}  // namespace vexalo
