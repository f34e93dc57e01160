#pragma once

namespace platform {

// Connects the logic's messages and posted tasks to the running QApplication: messages
// become message boxes on the user-interface thread (whichever thread reported them), and
// posted tasks run there in order. Call once after the application object exists.
void installQtUiHandlers();
// Restores the built-in handlers (before the application object goes away).
void removeQtUiHandlers();

}  // namespace platform
