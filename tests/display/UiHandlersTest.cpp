#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <thread>

#include "platform/MessageSink.h"
#include "platform/UiThread.h"
#include "platform/qt/QtUiHandlers.h"

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "test_ui_handlers";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Closes the next message box that appears and says what it showed and on which thread.
struct BoxWatcher {
    QString text;
    bool onUiThread = false;
    bool seen = false;
    QTimer timer;

    BoxWatcher() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = true;
            text = box->text();
            onUiThread = box->thread() == qApp->thread();
            box->accept();
        });
        timer.start(10);
    }
};

void runEventsUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 300 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

TEST(QtUiHandlers, AMessageFromAWorkerIsShownOnTheUiThreadWithoutBlockingTheWorker) {
    application();
    platform::installQtUiHandlers();
    BoxWatcher watcher;
    bool workerReturned = false;
    std::thread worker([&] {
        platform::showMessage("Couldn't open output file", platform::MessageIcon::Exclamation);
        workerReturned = true;  // before anyone closed the box
    });
    worker.join();
    EXPECT_TRUE(workerReturned);
    runEventsUntil([&] { return watcher.seen; });
    EXPECT_TRUE(watcher.seen);
    EXPECT_EQ(watcher.text, "Couldn't open output file");
    EXPECT_TRUE(watcher.onUiThread);
    platform::removeQtUiHandlers();
}

TEST(QtUiHandlers, PostedTasksRunOnTheUiThreadInOrder) {
    application();
    platform::installQtUiHandlers();
    std::vector<int> order;
    bool allOnUiThread = true;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            platform::postToUiThread([&, i] {
                order.push_back(i);
                allOnUiThread = allOnUiThread && QThread::currentThread() == qApp->thread();
            });
        }
    });
    worker.join();
    runEventsUntil([&] { return order.size() == 5; });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnUiThread);
    platform::removeQtUiHandlers();
}

}  // namespace
