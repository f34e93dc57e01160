#include "app/PortSearchDialogState.h"

#include "acquisition/PortSearch.h"
#include "app/AppSettings.h"

using acquisition::PortSearch;

void PortSearchDialogState::Open(const AppSettings& settings) {
    selected_ = PortSearch::initialPort(settings);
    lastFound_ = PortSearch::lastFoundText(settings);
    status_.clear();
    queue_.clear();
    held_ = false;
    found_ = 0;
    searching_ = false;
}

void PortSearchDialogState::Select(int32_t port, int64_t nowMs) {
    selected_ = port;
    queue_.clear();
    show(PortSearch::selectedText(port), nowMs);
}

void PortSearchDialogState::SearchStarted(int64_t nowMs) {
    queue_.clear();
    show({}, nowMs);
    held_ = false;
    found_ = 0;
    searching_ = true;
}

void PortSearchDialogState::Status(int32_t code, int32_t port, int64_t nowMs) {
    std::string text = PortSearch::statusText(code, port);
    if (code == PortSearch::kStopped) {
        queue_.clear();
        show(std::move(text), nowMs);
        return;
    }
    queue_.push_back(std::move(text));
    Advance(nowMs);
}

void PortSearchDialogState::Finished(int32_t result) {
    searching_ = false;
    if (result > 0) {
        found_ = result;
        selected_ = result;
    }
}

void PortSearchDialogState::Stopped() {
    searching_ = false;
}

bool PortSearchDialogState::Advance(int64_t nowMs) {
    if (queue_.empty()) return false;
    if (held_ && nowMs - shownAt_ < holdMs_) return false;
    show(std::move(queue_.front()), nowMs);
    queue_.pop_front();
    return true;
}

bool PortSearchDialogState::shouldClose(int64_t nowMs) const {
    return found_ > 0 && queue_.empty() && (!held_ || nowMs - shownAt_ >= holdMs_);
}

int64_t PortSearchDialogState::NextChangeIn(int64_t nowMs) const {
    if (queue_.empty() && (found_ <= 0 || shouldClose(nowMs))) return -1;
    if (!held_) return 0;
    const int64_t left = holdMs_ - (nowMs - shownAt_);
    return left > 0 ? left : 0;
}

void PortSearchDialogState::show(std::string text, int64_t nowMs) {
    status_ = std::move(text);
    shownAt_ = nowMs;
    held_ = true;
}
