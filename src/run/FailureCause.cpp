#include "run/FailureCause.h"

#include "platform/UserTexts.h"

namespace vexalo {

namespace {

struct KindCause {
  FailureKind kind;
  UserText line;
};

constexpr KindCause kCauses[] = {
    {FailureKind::kServerExpectsTls, UserText::kCauseServerExpectsTls},
    {FailureKind::kServerSpeaksPlain, UserText::kCauseServerSpeaksPlain},
    {FailureKind::kHostName, UserText::kCauseHostName},
    {FailureKind::kRefused, UserText::kCauseRefused},
    {FailureKind::kTimedOut, UserText::kCauseTimedOut},
    {FailureKind::kUnreachable, UserText::kCauseUnreachable},
    {FailureKind::kReset, UserText::kCauseReset},
    {FailureKind::kTlsTrust, UserText::kCauseTlsTrust},
    {FailureKind::kBadPort, UserText::kCauseBadPort},
    {FailureKind::kLoginRefused, UserText::kCauseLoginRefused},
    {FailureKind::kSignInNeeded, UserText::kCauseSignInNeeded},
};

}  // namespace

std::string FailureCauseLine(const RunFailure& failure) {
  for (const KindCause& cause : kCauses) {
    if (cause.kind == failure.kind) {
      return Cp932Text(UserText::kCausePrefix) + Cp932Text(cause.line);
    }
  }
  return {};
}

}  // namespace vexalo
