#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "jconv/Cp932Codec.h"
#include "run/ProcessingRun.h"
#include "run/RunReporter.h"

namespace vexalo {

// Failure messages name the phase rather than its number.
inline void PrintTo(TRunPhase phase, std::ostream* out) { *out << ToString(phase); }

}  // namespace vexalo

namespace vexalo::testing {

// Keeps what a run shows, in UTF-8, so that tests compare it with the texts
// as the user reads them.
class RecordingReporter final : public RunReporter {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(Cp932ToUtf8(text)); }
  void ShowMessage(const std::string& text) override {
    messages.push_back(Cp932ToUtf8(text));
    if (!whileNextMessageOpen) return;
    const std::function<void()> action = std::move(whileNextMessageOpen);
    whileNextMessageOpen = nullptr;
    action();
  }
  void ShowRunError(const std::string& text, const RunFailure& failure) override {
    failures.push_back(failure);
    ShowMessage(text);
  }
  void OpenSettings() override { ++settingsOpened; }
  void TableChanged() override { ++tableChanges; }
  void RunEnded(RunOutcome outcome) override { outcomes.push_back(outcome); }
  bool TrustCertificate(const CertificateQuestion& question) override {
    certificateQuestions.push_back(question);
    return trustCertificates;
  }

  std::vector<std::string> statuses;
  std::vector<CertificateQuestion> certificateQuestions;
  bool trustCertificates = false;
  std::vector<std::string> messages;
  std::vector<RunFailure> failures;
  std::vector<RunOutcome> outcomes;
  int settingsOpened = 0;
  int tableChanges = 0;
  // What the user does while the next message box is open, before closing it.
  std::function<void()> whileNextMessageOpen;
};

// The run error box around `detail`.
inline std::string RunErrorBox(const std::string& detail) {
  return "メール受信処理中にエラーが発生しました。(内容：" + detail +
         ")\r\n一旦ソフトを終了させ（必ず行ってください）、\r\n"
         "インターネットへの接続や、メールサーバの設定を確認した後、再試行して下さい。";
}

// The status text at the end of a completed run.
inline std::string RunSummary(int messages, int taken, int rows) {
  return "受信完了しました。総メール数：" + std::to_string(messages) + "　受信対象新規メール数：" +
         std::to_string(taken) + "　合計累積データ数：" + std::to_string(rows);
}

}  // namespace vexalo::testing
