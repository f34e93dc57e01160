#include "platform/qt/GpsMenuBar.h"

#include <QMenu>
#include <QMenuBar>

#include "app/GpsViewCommands.h"

void AddGpsMenu(QMenuBar& bar, GpsViewCommands& gps) {
    QMenu* menu = bar.addMenu("G&PS");
    auto add = [&](const char* text, int32_t code) {
        QAction* a = menu->addAction(text, menu, [&gps, code] { gps.Perform(code); });
        a->setData(code);
        return a;
    };
    QAction* connect = add("Connect", GpsViewCommands::kConnect);
    QAction* setClock = add("Set Clock", GpsViewCommands::kSetClock);
    add("Settings", GpsViewCommands::kSettings);
    add("New File", GpsViewCommands::kNewFile);
    add("Map", GpsViewCommands::kMap);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [&gps, connect, setClock] {
        connect->setText(gps.ConnectText());
        connect->setEnabled(gps.ConnectEnabled());
        setClock->setEnabled(gps.SetClockEnabled());
    });
}
