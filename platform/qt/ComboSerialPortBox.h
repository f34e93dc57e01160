#pragma once
#include <QComboBox>
#include <cstdint>

#include "gps/PortList.h"

// The combo box of the machine's serial ports: it shows the entries of its PortList, each
// carrying its port number as item data, and keeps the list's selection in step with its own.
class ComboSerialPortBox : public QComboBox {
  public:
    explicit ComboSerialPortBox(QWidget* parent = nullptr);
    ComboSerialPortBox(gps::PortList::Sources sources, QWidget* parent = nullptr);

    void FillListed(int32_t wanted);
    void FillProbed(int32_t wanted);
    // The port numbers of the entries, in list order.
    std::vector<int32_t> ports() const;
    // The port of the chosen entry, or -1.
    int32_t selectedPort() const;

    const gps::PortList& list() const { return list_; }

  private:
    void show();

    gps::PortList list_;
    int32_t wanted_ = -1;
};
