#pragma once

#include <QString>

#include "processing/RunReporter.h"

namespace vexalo {

// One plain line that names the likely cause of a run's failure and what to
// do about it, chosen from the failure's completion code, the step that
// failed and the system's text; empty when the failure fits none of the
// known causes.
QString ErrorCauseLine(const RunFailure& failure);

// The system's own error text as the user reads it: the socket error texts
// keep their words and numbers, but not the name of a Windows library that
// means nothing on this system.
QString ShownSystemText(QString text);

}  // namespace vexalo
