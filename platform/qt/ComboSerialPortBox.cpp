#include "platform/qt/ComboSerialPortBox.h"

ComboSerialPortBox::ComboSerialPortBox(QWidget* parent) : QComboBox(parent) {}

ComboSerialPortBox::ComboSerialPortBox(gps::PortList::Sources sources, QWidget* parent)
    : QComboBox(parent), list_(std::move(sources)) {}

void ComboSerialPortBox::FillListed(int32_t wanted) {
    wanted_ = wanted;
    list_.FillListed(wanted);
    show();
}

void ComboSerialPortBox::FillProbed(int32_t wanted) {
    wanted_ = wanted;
    list_.FillProbed(wanted);
    show();
}

std::vector<int32_t> ComboSerialPortBox::ports() const {
    std::vector<int32_t> out;
    for (const gps::PortEntry& e : list_.entries()) out.push_back(e.itemData);
    return out;
}

int32_t ComboSerialPortBox::selectedPort() const {
    return currentIndex() < 0 ? -1 : currentData().toInt();
}

void ComboSerialPortBox::show() {
    const QSignalBlocker quiet(this);
    clear();
    for (const gps::PortEntry& e : list_.entries())
        addItem(QString::fromStdString(e.text), e.itemData);
    setCurrentIndex(list_.selectedIndex());
    // A remembered port that is not there now (a stick pulled out) is still the one a try
    // goes to: it is shown, so the user sees which.
    if (list_.selectedIndex() < 0 && wanted_ > 0) {
        addItem(QString("COM%1: (not listed)").arg(wanted_), wanted_);
        setCurrentIndex(count() - 1);
    }
}
