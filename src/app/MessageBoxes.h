#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

namespace vexalo {

// The name of the program in the task bar and the caption of every message
// box and error box.
inline constexpr char kApplicationTitle[] = "Vexalo";

// The text the error box shows for an error's message: the message with "."
// appended when its last character sorts after "." (so "...ません" gets one
// and "... 1." or "abc!" keep theirs). Both sides are CP932.
std::string ErrorBoxText(std::string_view message);

// A plain message box: caption "Vexalo", no icon, one OK button. Returns when
// the user has closed it; the event loop runs meanwhile.
void ShowMessageBox(QWidget* parent, std::string_view cp932Text);

// A question box: caption "Vexalo", the question icon, buttons Yes and No
// (No the default, so a hasty Enter says no). Returns whether Yes was chosen.
bool AskYesNo(QWidget* parent, std::string_view cp932Text);

// The application's error box: caption "Vexalo", the critical icon, one OK
// button and ErrorBoxText of the message. Returns when the user has closed it.
void ShowErrorBox(QWidget* parent, std::string_view cp932Message);

// Runs `handler`. An exception that escapes it is shown in the error box and
// goes no further, so a failing command leaves the program waiting for the
// user. Every handler that Qt calls for a command or event goes through here:
// Qt itself must never see an exception.
void CallShowingErrors(QWidget* parent, const std::function<void()>& handler);

}  // namespace vexalo
