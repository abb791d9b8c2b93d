// The application shell's services: the program's title, the closing message box, the
// error box and the fatal start-up box, and the start of the program itself.
#pragma once

#include <memory>
#include <string>

#include "binding/client_api.h"

class QApplication;
class QWidget;

namespace app {

// The title captioning the program's boxes: the executable's file name without its folder,
// cut before its first ".", its first character as it is and every other lower-cased.
std::string applicationTitle(const std::string& executablePath);
std::string applicationTitle();

// The text the error box shows: a "." is added unless the text is empty or its last
// character is "." or sorts before it.
std::string errorBoxText(const std::string& message);

// A modal box with the text and one "&Ok" button (default and cancel), centred on the
// screen; returns when it is closed.
void showClosingMessage(const std::string& text);

// The box for an error that ended a run: stop icon, one OK button.
void showErrorBox(const std::string& message);

// Creates the main window, shows it and runs the message loop. Returns the exit code: 0,
// or 1 when the window cannot be created (the reason is shown in a box first).
int runProgram(QApplication& application, std::shared_ptr<const binding::ClientApi> api = nullptr);

}  // namespace app
