#pragma once
#include <QDialog>
#include <QElapsedTimer>
#include <cstdint>

#include "acquisition/PortSearch.h"
#include "app/PortSearchDialogState.h"
#include "gps/PortList.h"

struct AppSettings;
class ComboSerialPortBox;
class QLabel;
class QPushButton;
class QTimer;

// The module port search dialog: the widgets of PortSearchDialogState, the search on the
// document's module port. It closes itself when the module is found, leaving the port open.
class PortSearchDialog : public QDialog {
  public:
    // `holdMs`: how long each status stays on the status line at least.
    PortSearchDialog(AppSettings& settings, acquisition::CommFile& modulePort,
                     gps::PortList::Sources sources, int32_t holdMs, QWidget* parent);
    ~PortSearchDialog() override;

    // Shows the dialog modally: the port found (the module port left open on it), or 0.
    static int32_t Run(AppSettings& settings, acquisition::CommFile& modulePort, QWidget* parent,
                       int32_t holdMs = 1000);

    int32_t foundPort() const { return state_.foundPort(); }
    // Every text the status line has shown, with the time it came up (ms since opening).
    struct Shown {
        std::string text;
        int64_t atMs = 0;
    };
    const std::vector<Shown>& shownStatuses() const { return shown_; }
    const PortSearchDialogState& state() const { return state_; }
    ComboSerialPortBox& portBox() { return *ports_; }
    QPushButton* button(const QString& text) const;

    void reject() override;

  private:
    void start(int32_t singlePort);
    void stop();
    void onStatus(int32_t code, int32_t port);
    void onFinished(int32_t result);
    void refresh();
    int64_t now() const { return clock_.elapsed(); }

    AppSettings& settings_;
    acquisition::PortSearch search_;
    PortSearchDialogState state_;
    QElapsedTimer clock_;
    QTimer* nextStatus_;
    ComboSerialPortBox* ports_;
    QLabel* lastFound_;
    QLabel* status_;
    QPushButton* searchButton_;
    QPushButton* tryButton_;
    QPushButton* refreshButton_;
    QPushButton* stopButton_;
    std::vector<Shown> shown_;
};
