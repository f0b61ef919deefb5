#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace vexalo {

// Every text a user reads that the plain C++ layers make: the run's status
// lines and boxes, file and settings errors, the certificate question. They
// are written in UTF-8 in one table (UserTexts.cpp) and used in CP932, the
// program's text everywhere but at the Qt edge, whose own captions are
// QStrings in src/app.
enum class UserText {
  // The run's boxes and status lines.
  kBusy,
  kNoHost,
  kReceiving,
  kCancelled,
  kProcessed,
  kSummaryMessages,
  kSummaryTaken,
  kSummaryRows,
  kSummaryUntrustedIds,
  kSummaryReusedIds,
  kSummaryUnreadable,
  kSummaryUndelivered,
  kSummaryValueless,
  kCountUnit,
  kListOpen,
  kListSeparator,
  kListCut,
  kListClose,
  kMessageNumberMark,
  kRunErrorHead,
  kRunErrorQuit,
  kRunErrorCheck,
  // The likely cause of a failed run, one line after the error.
  kCausePrefix,
  kCauseServerExpectsTls,
  kCauseServerSpeaksPlain,
  kCauseHostName,
  kCauseRefused,
  kCauseTimedOut,
  kCauseUnreachable,
  kCauseReset,
  kCauseTlsTrust,
  kCauseBadPort,
  kCauseLoginRefused,
  kCauseSignInNeeded,
  // Settings a run refuses to start with.
  kBadSecurity,
  kDeleteWithoutTrigger,
  // The certificate question.
  kCertificateUntrusted,
  kCertificateServer,
  kCertificateSubject,
  kCertificateIssuer,
  kCertificateValidity,
  kCertificateRangeMark,
  kCertificateFingerprint,
  // Files.
  kFileNotFound,
  kBadFileName,
  kTooManyOpenFiles,
  kFileAccessDenied,
  kDiskFull,
  kNotARegularFile,
  kInOutError,
  kSettingsFileTooLarge,
  kCannotWrite,
  // OAuth 2.0 settings, sign-in and the grant's store.
  kBadSettingValue,
  kAuthChoices,
  kProviderChoices,
  kNoTenantName,
  kUrlNeedsHttps,
  kClientIdEmpty,
  kCustomKeyEmpty,
  kNotSignedIn,
  kSignInWithdrawn,
  kTokenRefreshFailed,
  kKeyringStoreFailed,
  kKeyringEraseFailed,
  kCannotErase,
  // The Excel export.
  kExcelWriteFailed,
  // The desktop's timer and number fields.
  kNotAnInteger,
  kNoTimer,
};

// The CP932 form of `text`, converted from its UTF-8 source once.
const std::string& Cp932Text(UserText text);

// Cp932Text with each "{}" replaced by the next of `values`, which are CP932
// already (a value of the settings, a path made CP932, a number).
std::string Cp932Text(UserText text, std::initializer_list<std::string_view> values);

}  // namespace vexalo
