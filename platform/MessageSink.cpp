#include "platform/MessageSink.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex handlerMutex;
MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}
}  // namespace

void showMessage(const std::string& text, MessageIcon icon) {
    MessageHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = currentHandler();
    }
    if (handler) {
        handler(text, icon);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

MessageHandler setMessageHandler(MessageHandler handler) {
    std::lock_guard lock(handlerMutex);
    MessageHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

}  // namespace platform
