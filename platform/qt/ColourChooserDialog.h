#pragma once
#include <QDialog>
#include <array>
#include <cstdint>

class QLabel;
class QPushButton;
class QSlider;

// The colour chooser, made for a finger: rows of colour swatches as tall as a fingertip, the
// user's sixteen custom colours, and red, green and blue each with a slider and − and +
// buttons. Qt's own chooser has 13 px wells and spin arrows and does not fit a 480 px screen.
// Colours are 0x00BBGGRR, as the settings hold them.
class ColourChooserDialog : public QDialog {
  public:
    ColourChooserDialog(uint32_t initial, const std::array<uint32_t, 16>& custom, QWidget* parent);

    uint32_t colour() const { return colour_; }
    // The custom colours as the user left them (also after Cancel).
    const std::array<uint32_t, 16>& custom() const { return custom_; }

    // The buttons a user taps, for the tests that tap them.
    QPushButton* basicSwatch(int index) const { return basic_.at(static_cast<size_t>(index)); }
    QPushButton* customSwatch(int index) const { return customs_.at(static_cast<size_t>(index)); }
    QPushButton* addToCustomButton() const { return addToCustom_; }

  private:
    void setColour(uint32_t colour);
    void selectCustom(int index);

    uint32_t colour_;
    std::array<uint32_t, 16> custom_;
    int customSlot_ = 0;
    std::array<QPushButton*, 32> basic_{};
    std::array<QPushButton*, 16> customs_{};
    std::array<QSlider*, 3> sliders_{};
    std::array<QLabel*, 3> values_{};
    QLabel* preview_ = nullptr;
    QPushButton* addToCustom_ = nullptr;
};
