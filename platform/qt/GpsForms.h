#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/GpsWindows.h"

struct AppSettings;
class QDialog;
class QLabel;
class QWidget;

namespace GpsForms {

// "Use BigDots" and the four map colours; the colours are taken as they are chosen.
void EditMapColours(QWidget* parent, AppSettings& settings);

}  // namespace GpsForms

// The GPS commands' windows on Qt, over `parent`.
class QtGpsWindows : public GpsWindows {
  public:
    explicit QtGpsWindows(QWidget* parent);
    ~QtGpsWindows() override;

    GpsLink::ConnectionProgress& connectionProgress() override;
    std::optional<gps_settings::Choice> EditSettings(SettingsForm& form) override;
    bool Confirm(const std::string& question) override;
    void ShowClockMessage(const std::string& text) override;
    void ShowMap(GpsMap& map) override;

    // Every heading and status text the progress window showed, in order.
    const std::vector<std::string>& progressTexts() const;

  private:
    class Progress;
    QWidget* parent_;
    std::unique_ptr<Progress> progress_;
};
