#pragma once
#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { None, Information, Exclamation, Error, Question };

// The one way the logic shows a modal message to the user ("Couldn't open output file",
// "DETLINK error", ...). The application installs a handler that opens a message box; the
// command-line tool's default prints the text to standard error. Tests install their own.
using MessageHandler = std::function<void(const std::string& text, MessageIcon icon)>;

void showMessage(const std::string& text, MessageIcon icon = MessageIcon::None);

// Installs `handler` (an empty one restores the default) and returns the previous one.
MessageHandler setMessageHandler(MessageHandler handler);

}  // namespace platform
