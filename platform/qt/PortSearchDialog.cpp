#include "platform/qt/PortSearchDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/AppSettings.h"
#include "platform/SerialDevices.h"
#include "platform/qt/ComboSerialPortBox.h"

PortSearchDialog::PortSearchDialog(AppSettings& settings, acquisition::CommFile& modulePort,
                                   gps::PortList::Sources sources, int32_t holdMs, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      search_(modulePort),
      state_(holdMs),
      nextStatus_(new QTimer(this)),
      ports_(new ComboSerialPortBox(std::move(sources), this)),
      lastFound_(new QLabel(this)),
      status_(new QLabel(this)),
      searchButton_(new QPushButton("Search ports", this)),
      tryButton_(new QPushButton("Try this port", this)),
      refreshButton_(new QPushButton("Refresh", this)),
      stopButton_(new QPushButton("Stop", this)) {
    setObjectName("PortSearch");
    setWindowTitle("Find DETLINK");
    clock_.start();
    search_.setStatusHold(holdMs);
    nextStatus_->setSingleShot(true);
    connect(nextStatus_, &QTimer::timeout, this, [this] {
        state_.Advance(now());
        refresh();
        if (state_.shouldClose(now())) QDialog::accept();
    });

    auto* close = new QPushButton("Close", this);
    auto* grid = new QGridLayout(this);
    grid->addWidget(lastFound_, 0, 0, 1, 2);
    grid->addWidget(searchButton_, 1, 0);
    grid->addWidget(new QLabel("(May take a while!)", this), 1, 1);
    grid->addWidget(ports_, 2, 0, 1, 2);
    grid->addWidget(refreshButton_, 3, 0);
    grid->addWidget(tryButton_, 3, 1);
    grid->addWidget(new QLabel("Status", this), 4, 0, 1, 2);
    grid->addWidget(status_, 5, 0, 1, 2);
    grid->addWidget(stopButton_, 6, 0);
    grid->addWidget(close, 6, 1);
    status_->setMinimumWidth(
        status_->fontMetrics().horizontalAdvance("DETLINK not found on port 000"));

    state_.Open(settings_);
    ports_->FillListed(state_.selectedPort());

    connect(ports_, &QComboBox::activated, this, [this] {
        state_.Select(ports_->selectedPort(), now());
        refresh();
    });
    connect(refreshButton_, &QPushButton::clicked, this,
            [this] { ports_->FillListed(state_.selectedPort()); });
    connect(searchButton_, &QPushButton::clicked, this,
            [this] { start(acquisition::PortSearch::kWholeList); });
    connect(tryButton_, &QPushButton::clicked, this, [this] {
        settings_.SerialPort = state_.selectedPort();
        start(state_.selectedPort());
    });
    connect(stopButton_, &QPushButton::clicked, this, [this] { stop(); });
    connect(close, &QPushButton::clicked, this, &PortSearchDialog::reject);
    refresh();
}

PortSearchDialog::~PortSearchDialog() = default;

int32_t PortSearchDialog::Run(AppSettings& settings, acquisition::CommFile& modulePort,
                              QWidget* parent, int32_t holdMs) {
    PortSearchDialog dialog(
        settings, modulePort,
        {platform::listSerialDevices, platform::listVirtualPorts, gps::PortList::CanOpenPort},
        holdMs, parent);
    dialog.exec();
    return dialog.foundPort();
}

QPushButton* PortSearchDialog::button(const QString& text) const {
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b->text() == text) return b;
    }
    return nullptr;
}

void PortSearchDialog::start(int32_t singlePort) {
    state_.SearchStarted(now());
    setCursor(Qt::BusyCursor);
    search_.start(
        ports_->ports(), singlePort, [this](int32_t code, int32_t port) { onStatus(code, port); },
        [this](int32_t result) { onFinished(result); });
    refresh();
}

void PortSearchDialog::stop() {
    if (!search_.running()) return;
    search_.stop();
    state_.Stopped();
    refresh();
}

void PortSearchDialog::onStatus(int32_t code, int32_t port) {
    state_.Status(code, port, now());
    refresh();
}

void PortSearchDialog::onFinished(int32_t result) {
    state_.Finished(result);
    refresh();
    if (state_.shouldClose(now())) QDialog::accept();
}

void PortSearchDialog::reject() {
    stop();
    QDialog::reject();
}

void PortSearchDialog::refresh() {
    lastFound_->setText(QString::fromStdString(state_.lastFoundText()));
    const QString status = QString::fromStdString(state_.statusText());
    if (status != status_->text()) {
        status_->setText(status);
        if (!status.isEmpty()) shown_.push_back({state_.statusText(), now()});
    }
    stopButton_->setEnabled(state_.stopEnabled());
    searchButton_->setEnabled(state_.idleButtonsEnabled());
    tryButton_->setEnabled(state_.idleButtonsEnabled());
    refreshButton_->setEnabled(state_.idleButtonsEnabled());
    if (!state_.searching()) unsetCursor();
    const int64_t wait = state_.NextChangeIn(now());
    if (wait >= 0) {
        nextStatus_->start(static_cast<int>(wait));
    } else {
        nextStatus_->stop();
    }
}
