#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

// Acts on the modal dialog that the next step opens, once it is up (the step itself blocks
// in the dialog's own event loop until `act` closes it).
inline void whenModal(std::function<void(QWidget*)> act, int tries = 0) {
    QTimer::singleShot(tries == 0 ? 0 : 10, [act, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            act(modal);
        } else if (tries < 300) {
            whenModal(act, tries + 1);
        } else {
            ADD_FAILURE() << "no modal dialog came up";
        }
    });
}
