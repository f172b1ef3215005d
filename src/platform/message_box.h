#pragma once
// The one seam through which the program shows a modal message box with one OK button.
// The program installs a handler that shows Qt's box; tests install a recorder. Any thread may
// call ShowMessage; the handler decides how to reach the screen.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Caption and text are UTF-8.
using MessageHandler = std::function<void(const std::string& caption, const std::string& text)>;

// Installs the process-wide handler and answers the one it replaces. Without a handler,
// messages go to standard error so that nothing is lost.
MessageHandler SetMessageHandler(MessageHandler handler);

// The caption of every box: the program file's name without its extension.
void SetMessageCaption(std::string caption);
std::string MessageCaption();

// Shows `text` (UTF-8) and returns when the box is closed.
void ShowMessage(std::string_view text);

// A handler for programs without a window of their own to own the box: on Windows the system's
// modal box (MessageBoxW, one OK button, the caption as its title); elsewhere, where no box exists
// without a window system, the line goes to standard error as without a handler.
MessageHandler SystemMessageBox();

}  // namespace platform
