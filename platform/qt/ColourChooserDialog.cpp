#include "platform/qt/ColourChooserDialog.h"

#include <QColor>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/qt/ScreenFit.h"

namespace {

// Two rows of sixteen, written as 0xRRGGBB because that is how people read colours: the
// greys and the full hues, then their darker and lighter kin.
constexpr std::array<uint32_t, 32> kBasicRgb = {
    0x000000, 0x404040, 0x808080, 0xC0C0C0, 0xFFFFFF, 0xFF0000, 0xFF8000, 0xFFFF00,
    0x80FF00, 0x00FF00, 0x00FF80, 0x00FFFF, 0x0080FF, 0x0000FF, 0x8000FF, 0xFF00FF,
    0x800000, 0x804000, 0x808000, 0x008000, 0x008080, 0x000080, 0x800080, 0xFF0080,
    0xFF8080, 0xFFC080, 0xFFFF80, 0x80FF80, 0x80FFFF, 0x8080FF, 0xC080FF, 0xFF80FF};

uint32_t fromRgb(uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

int channel(uint32_t colour, int i) {
    return static_cast<int>((colour >> (8 * i)) & 0xFF);
}

QString cssColour(uint32_t colour) {
    return QString("#%1%2%3")
        .arg(channel(colour, 0), 2, 16, QChar('0'))
        .arg(channel(colour, 1), 2, 16, QChar('0'))
        .arg(channel(colour, 2), 2, 16, QChar('0'));
}

void paintSwatch(QWidget* swatch, uint32_t colour, bool marked) {
    // The key focus as a frame that stands out of the swatch's own colour: the style's focus
    // frame gave way to the style sheet, and only a faint tint was left of it.
    const bool light = qGray(channel(colour, 0), channel(colour, 1), channel(colour, 2)) >= 128;
    swatch->setStyleSheet(QString("QPushButton { background-color: %1; border: %2px solid %3; }"
                                  "QPushButton:focus { border: 4px solid %4; }")
                              .arg(cssColour(colour))
                              .arg(marked ? 4 : 1)
                              .arg(marked ? "#0060ff" : "#606060")
                              .arg(light ? "black" : "white"));
}

}  // namespace

ColourChooserDialog::ColourChooserDialog(uint32_t initial, const std::array<uint32_t, 16>& custom,
                                         QWidget* parent)
    : QDialog(parent), colour_(initial & 0xFFFFFF), custom_(custom) {
    setWindowTitle("Colour");
    const int finger = platform::qt::fingerPixels(parent != nullptr ? parent->screen() : nullptr);
    // The slider's handle is as tall as a fingertip; Qt's default is a few pixels.
    setStyleSheet(QString("QSlider::groove:horizontal { height: 8px; background: #a0a0a0; }"
                          "QSlider::handle:horizontal { width: %1px; margin: -%2px 0;"
                          " background: #f0f0f0; border: 1px solid #505050; }"
                          "QSlider::handle:horizontal:focus { border: 3px solid #0060ff; }")
                      .arg(finger)
                      .arg((finger - 8) / 2));
    auto* layout = new QVBoxLayout(this);
    // Sixteen swatches a row where the screen has room for them, else eight: sixteen made
    // the dialog wider than a panel turned upright.
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const bool narrow =
        screen != nullptr && screen->availableGeometry().width() < 16 * (finger + 2) + 40;
    const int perRow = narrow ? 8 : 16;

    auto* basic = new QGridLayout;
    basic->setSpacing(2);
    for (size_t i = 0; i < basic_.size(); ++i) {
        const uint32_t colour = fromRgb(kBasicRgb[i]);
        auto* swatch = new QPushButton(this);
        swatch->setAutoDefault(false);
        swatch->setMinimumSize(finger, finger);
        paintSwatch(swatch, colour, false);
        connect(swatch, &QPushButton::clicked, this, [this, colour] { setColour(colour); });
        basic->addWidget(swatch, static_cast<int>(i) / perRow, static_cast<int>(i) % perRow);
        basic_[i] = swatch;
    }
    layout->addLayout(basic);

    layout->addWidget(new QLabel("Custom colours", this));
    auto* customRow = new QGridLayout;
    customRow->setSpacing(2);
    for (size_t i = 0; i < customs_.size(); ++i) {
        auto* swatch = new QPushButton(this);
        swatch->setAutoDefault(false);
        swatch->setMinimumSize(finger, finger);
        const int index = static_cast<int>(i);
        connect(swatch, &QPushButton::clicked, this, [this, index] {
            selectCustom(index);
            setColour(custom_[static_cast<size_t>(index)]);
        });
        customRow->addWidget(swatch, index / perRow, index % perRow);
        customs_[i] = swatch;
    }
    layout->addLayout(customRow);

    auto* channels = new QGridLayout;
    const char* names[] = {"Red", "Green", "Blue"};
    for (int i = 0; i < 3; ++i) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(0, 255);
        slider->setPageStep(32);
        slider->setMinimumHeight(finger);
        slider->setMinimumWidth(finger * 4);  // a handle's travel a finger can place
        auto* less = new QPushButton("\u2212", this);
        auto* more = new QPushButton("+", this);
        for (QPushButton* b : {less, more}) {
            b->setAutoDefault(false);
            b->setMinimumWidth(finger * 3 / 2);
        }
        setTabOrder(less, slider);
        setTabOrder(slider, more);
        auto* value = new QLabel(this);
        value->setMinimumWidth(fontMetrics().horizontalAdvance("0000"));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(slider, &QSlider::valueChanged, this, [this, i](int v) {
            const uint32_t shift = 8 * static_cast<uint32_t>(i);
            setColour((colour_ & ~(0xFFu << shift)) | (static_cast<uint32_t>(v) << shift));
        });
        connect(less, &QPushButton::clicked, slider,
                [slider] { slider->setValue(slider->value() - 1); });
        connect(more, &QPushButton::clicked, slider,
                [slider] { slider->setValue(slider->value() + 1); });
        channels->addWidget(new QLabel(names[i], this), i, 0);
        channels->addWidget(less, i, 1);
        channels->addWidget(slider, i, 2);
        channels->addWidget(more, i, 3);
        channels->addWidget(value, i, 4);
        sliders_[static_cast<size_t>(i)] = slider;
        values_[static_cast<size_t>(i)] = value;
    }
    channels->setColumnStretch(2, 1);
    layout->addLayout(channels);

    auto* bottom = new QHBoxLayout;
    preview_ = new QLabel(this);
    preview_->setMinimumSize(finger * 3, finger);
    bottom->addWidget(preview_);
    addToCustom_ = new QPushButton("Add to custom colours", this);
    addToCustom_->setAutoDefault(false);
    // Stores the colour in the marked custom swatch and marks the next, so that several
    // colours can be kept one after another.
    connect(addToCustom_, &QPushButton::clicked, this, [this] {
        custom_[static_cast<size_t>(customSlot_)] = colour_;
        selectCustom((customSlot_ + 1) % 16);
    });
    bottom->addWidget(addToCustom_);
    bottom->addStretch(1);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addLayout(bottom);
    if (narrow) {
        layout->addWidget(box, 0, Qt::AlignRight);
    } else {
        bottom->addWidget(box, 0, Qt::AlignBottom);
    }

    selectCustom(0);
    setColour(colour_);
}

void ColourChooserDialog::setColour(uint32_t colour) {
    colour_ = colour & 0xFFFFFF;
    for (size_t i = 0; i < sliders_.size(); ++i) {
        const int v = channel(colour_, static_cast<int>(i));
        if (sliders_[i]->value() != v) sliders_[i]->setValue(v);  // re-enters with the same colour
        values_[i]->setText(QString::number(v));
    }
    paintSwatch(preview_, colour_, false);
}

void ColourChooserDialog::selectCustom(int index) {
    customSlot_ = index;
    for (size_t i = 0; i < customs_.size(); ++i) {
        paintSwatch(customs_[i], custom_[i], static_cast<int>(i) == customSlot_);
    }
}
