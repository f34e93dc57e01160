#include "platform/qt/ComboSerialPortBox.h"

ComboSerialPortBox::ComboSerialPortBox(QWidget* parent) : QComboBox(parent) {}

ComboSerialPortBox::ComboSerialPortBox(gps::PortList::Sources sources, QWidget* parent)
    : QComboBox(parent), list_(std::move(sources)) {}

void ComboSerialPortBox::FillListed(int32_t wanted) {
    list_.FillListed(wanted);
    show();
}

void ComboSerialPortBox::FillProbed(int32_t wanted) {
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
}
