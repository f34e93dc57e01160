#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "acquisition/SerialTest.h"
#include "app/SerialTestDialogState.h"

struct AppSettings;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

// The serial test: the widgets of SerialTestDialogState over an acquisition::SerialTest,
// refreshed once a second while a run goes on.
class SerialTestDialog : public QDialog {
  public:
    struct Host {
        // The data folder (ending in '/') made sure of, or "" when there is none.
        std::function<std::string()> dataFolder;
        // The port search on the test's port, over `parent`: the port found (left open), or 0.
        std::function<int32_t(acquisition::CommFile&, QWidget* parent)> searchPorts;
    };
    static constexpr int32_t kRefreshMs = 1000;

    SerialTestDialog(AppSettings& settings, Host host, QWidget* parent);
    ~SerialTestDialog() override;

    // The field beside `label` ("Port", "Recording?", "No of transitions", ...).
    QLabel* field(const QString& label) const;
    QPushButton* runButton() const { return run_; }
    QPushButton* closeButton() const { return close_; }
    QCheckBox* storeBox() const { return store_; }
    const SerialTestDialogState& state() const { return state_; }
    const acquisition::SerialTest& test() const { return test_; }

    // A run still going is stopped first.
    void reject() override;

  private:
    // Text and buttons as large as they can be for the dialog to be `pixels` tall at most.
    void fitToHeight(int pixels);
    void setTextPixels(int size);
    void runPressed();
    void start();
    void ended();
    void refresh();

    AppSettings& settings_;
    Host host_;
    acquisition::SerialTest test_;
    SerialTestDialogState state_;
    QTimer* timer_;
    QCheckBox* store_;
    QPushButton* run_;
    QPushButton* close_;
};
