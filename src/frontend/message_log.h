#pragma once
// A message-box handler that appends each box to a file instead of showing it, for runs without
// anyone to press OK (QUEND_MESSAGE_LOG names the file). Any thread.

#include <string>

#include "platform/message_box.h"

namespace frontend {

// Each box becomes one line "caption<TAB>text" (line feeds in the text as "\n"), appended
// whole so that lines of several processes never mix.
platform::MessageHandler MessageLogHandler(std::string path);

}  // namespace frontend
