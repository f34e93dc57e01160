#include "platform/UiThread.h"

#include <deque>
#include <mutex>

namespace platform {

namespace {
std::mutex queueMutex;
std::deque<Task>& queue() {
    static std::deque<Task> q;
    return q;
}
TaskPoster& poster() {
    static TaskPoster p;
    return p;
}
}  // namespace

void postToUiThread(Task task) {
    TaskPoster current;
    {
        std::lock_guard lock(queueMutex);
        current = poster();
        if (!current) {
            queue().push_back(std::move(task));
            return;
        }
    }
    current(std::move(task));
}

TaskPoster setUiTaskPoster(TaskPoster p) {
    std::lock_guard lock(queueMutex);
    TaskPoster previous = std::move(poster());
    poster() = std::move(p);
    return previous;
}

int runPostedTasks() {
    int ran = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(queueMutex);
            if (queue().empty()) break;
            task = std::move(queue().front());
            queue().pop_front();
        }
        task();
        ++ran;
    }
    return ran;
}

}  // namespace platform
