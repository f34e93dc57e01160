// The yardstick for the window's start: the least a Qt program does to put a window on the
// screen (a plain widget, shown and painted white), as the same machine and display run it.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(Qt::white));
    window.resize(800, 480);
    window.show();
    return QApplication::exec();
}
