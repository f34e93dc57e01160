#pragma once
#include <functional>

namespace platform {

// Workers never touch the user interface: they hand a function to the UI thread, which runs
// it later in its own loop (the Qt application installs a queued invocation). Without an
// installed poster the functions wait in a queue until runPostedTasks() is called, which is
// how the command-line tool and the tests drive their own loops.
using Task = std::function<void()>;
using TaskPoster = std::function<void(Task)>;

void postToUiThread(Task task);

// Installs `poster` (an empty one restores the built-in queue) and returns the previous one.
TaskPoster setUiTaskPoster(TaskPoster poster);

// Runs the tasks queued in the built-in queue, in order; returns how many ran.
int runPostedTasks();

}  // namespace platform
