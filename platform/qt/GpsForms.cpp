#include "platform/qt/GpsForms.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "app/AppSettings.h"
#include "app/DialogFields.h"
#include "gps/MapColoursDialog.h"
#include "platform/qt/GpsMapWindow.h"
#include "platform/qt/OptionForms.h"

namespace GpsForms {

void EditMapColours(QWidget* parent, AppSettings& settings) {
    MapColoursDialog d(settings);
    QDialog dialog(parent);
    dialog.setWindowTitle("Map colours");
    auto* layout = new QVBoxLayout(&dialog);
    auto* bigDots = new QCheckBox(MapColoursDialog::kCheckBoxText, &dialog);
    bigDots->setChecked(d.useBigDots());
    layout->addWidget(bigDots);
    auto* colours = new QHBoxLayout;
    for (auto button : {MapColoursDialog::Button::Map, MapColoursDialog::Button::Track,
                        MapColoursDialog::Button::Recent, MapColoursDialog::Button::Current}) {
        auto* b = new QPushButton(MapColoursDialog::ButtonText(button), &dialog);
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&, button] {
            d.Press(button, [&](uint32_t initial, std::array<uint32_t, 16>& custom) {
                return OptionForms::ChooseColour(&dialog, initial, custom);
            });
        });
        colours->addWidget(b);
    }
    layout->addLayout(colours);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    if (dialog.exec() == QDialog::Accepted) {
        d.setUseBigDots(bigDots->isChecked());
        d.Ok();
    }
}

}  // namespace GpsForms

// The modeless "Connecting to GPS" window; every text is painted as soon as it is set,
// since the connection runs on this thread and no event loop turns meanwhile.
class QtGpsWindows::Progress : public GpsLink::ConnectionProgress {
  public:
    explicit Progress(QWidget* parent) : dialog_(parent) {
        dialog_.setObjectName("GPSconnection");
        dialog_.setWindowTitle("GPS");
        auto* layout = new QVBoxLayout(&dialog_);
        heading_ = new QLabel(&dialog_);
        status_ = new QLabel(&dialog_);
        status_->setMinimumWidth(260);
        layout->addWidget(heading_);
        layout->addWidget(status_);
    }
    void show(const std::string& heading, const std::string& status) override {
        heading_->setText(QString::fromStdString(heading));
        texts_.push_back(heading);
        dialog_.show();
        setStatus(status);
    }
    void setStatus(const std::string& status) override {
        status_->setText(QString::fromStdString(status));
        texts_.push_back(status);
        shownAt_.start();
        dialog_.repaint();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    void close() override {
        // A failure stays up long enough to be read, or until the user taps it away.
        if (!texts_.empty() && texts_.back() == GpsLink::kConnectionFailed) {
            QEventLoop wait;
            TapCatcher tap(wait);
            dialog_.installEventFilter(&tap);
            while (!tap.tapped && shownAt_.elapsed() < kFailureShownMs) {
                QTimer::singleShot(static_cast<int>(kFailureShownMs - shownAt_.elapsed()),
                                   Qt::PreciseTimer, &wait, &QEventLoop::quit);
                wait.exec();
            }
            dialog_.removeEventFilter(&tap);
        }
        dialog_.hide();
    }
    static constexpr qint64 kFailureShownMs = 2000;

    std::vector<std::string> texts_;

  private:
    // Ends `loop` on a tap on the window it watches.
    class TapCatcher : public QObject {
      public:
        explicit TapCatcher(QEventLoop& loop) : loop_(loop) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::MouseButtonPress) {
                tapped = true;
                loop_.quit();
            }
            return false;
        }
        bool tapped = false;

      private:
        QEventLoop& loop_;
    };

    QDialog dialog_;
    QElapsedTimer shownAt_;
    QLabel* heading_;
    QLabel* status_;
};

QtGpsWindows::QtGpsWindows(QWidget* parent)
    : parent_(parent), progress_(std::make_unique<Progress>(parent)) {}

QtGpsWindows::~QtGpsWindows() = default;

GpsLink::ConnectionProgress& QtGpsWindows::connectionProgress() {
    return *progress_;
}

const std::vector<std::string>& QtGpsWindows::progressTexts() const {
    return progress_->texts_;
}

namespace {

// The time zone's hours and minutes are whole numbers. A spin box drops a comma or point
// without a word and takes the digits after it, so "5,5" for five and a half hours became
// 5 h and "0,5" 5 h: the separator is refused with the message the other dialogs give.
class WholeNumbersOnly : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        if (typed.isEmpty() ||
            (typed != "," && typed != "." && typed != QLocale().decimalPoint())) {
            return false;
        }
        auto* field = static_cast<QAbstractSpinBox*>(watched);
        QMessageBox::warning(field->window(), "Zelkora", DialogFields::kNotAnInteger);
        field->selectAll();
        return true;
    }
};

void fillPorts(QComboBox* combo, const gps::PortList& ports) {
    combo->clear();
    for (const gps::PortEntry& e : ports.entries())
        combo->addItem(QString::fromStdString(e.text), e.itemData);
    combo->setCurrentIndex(ports.selectedIndex());
}

}  // namespace

std::optional<gps_settings::Choice> QtGpsWindows::EditSettings(SettingsForm& form) {
    QDialog dialog(parent_);
    dialog.setObjectName("GPSsettings");
    dialog.setWindowTitle("GPS settings");
    auto* grid = new QGridLayout(&dialog);

    grid->addWidget(new QLabel("Baud rate", &dialog), 0, 0);
    auto* baud = new QComboBox(&dialog);
    baud->setObjectName("baud");
    for (int32_t rate : gps_settings::kBaudRates) baud->addItem(QString::number(rate), rate);
    baud->setCurrentIndex(form.baudIndex.value_or(-1));
    grid->addWidget(baud, 0, 1, 1, 3);

    grid->addWidget(new QLabel("Port List", &dialog), 1, 0);
    auto* ports = new QComboBox(&dialog);
    ports->setObjectName("ports");
    fillPorts(ports, form.ports);
    grid->addWidget(ports, 1, 1, 1, 2);
    auto* refresh = new QPushButton("Refresh", &dialog);
    refresh->setAutoDefault(false);
    QObject::connect(refresh, &QPushButton::clicked, &dialog, [&] {
        const int index = ports->currentIndex();
        form.ports.Fill(index >= 0 ? ports->itemData(index).toInt() : form.wantedPort);
        fillPorts(ports, form.ports);
    });
    grid->addWidget(refresh, 1, 3);

    grid->addWidget(new QLabel("TimeZone", &dialog), 2, 0);
    auto* plus = new QRadioButton("+", &dialog);
    auto* minus = new QRadioButton("-", &dialog);
    plus->setObjectName("plus");
    minus->setObjectName("minus");
    auto* sign = new QButtonGroup(&dialog);
    sign->addButton(plus);
    sign->addButton(minus);
    (form.timeZone.negative ? minus : plus)->setChecked(true);
    auto* hours = new QSpinBox(&dialog);
    hours->setObjectName("h");
    hours->setRange(0, 12);
    hours->setSuffix(" h");
    hours->setValue(form.timeZone.hours);
    auto* minutes = new QSpinBox(&dialog);
    minutes->setObjectName("m");
    minutes->setRange(0, 59);
    minutes->setSuffix(" m");
    minutes->setValue(form.timeZone.minutes);
    // The sign on a row of its own, above the hours and minutes: on one row they made the
    // dialog wider than a panel turned upright.
    auto* signs = new QHBoxLayout;
    signs->addWidget(plus);
    signs->addWidget(minus);
    signs->addStretch(1);
    grid->addLayout(signs, 2, 1, 1, 3);
    auto* zone = new QHBoxLayout;
    auto* wholeNumbers = new WholeNumbersOnly(&dialog);
    // A spin box's own arrows are half its height: a finger gets buttons of its own, which
    // Tab reaches in their places on the screen (made after the fields, it took them last).
    QWidget* previous = minus;
    for (QSpinBox* field : {hours, minutes}) {
        field->installEventFilter(wholeNumbers);
        field->setButtonSymbols(QAbstractSpinBox::NoButtons);
        field->setAlignment(Qt::AlignCenter);
        auto* down = new QPushButton("-", &dialog);
        auto* up = new QPushButton("+", &dialog);
        for (QPushButton* b : {down, up}) {
            b->setAutoDefault(false);
            b->setFixedWidth(b->sizeHint().height());
        }
        for (QWidget* next : std::initializer_list<QWidget*>{down, field, up})
            QWidget::setTabOrder(std::exchange(previous, next), next);
        QObject::connect(down, &QPushButton::clicked, field, &QSpinBox::stepDown);
        QObject::connect(up, &QPushButton::clicked, field, &QSpinBox::stepUp);
        zone->addWidget(down);
        zone->addWidget(field);
        zone->addWidget(up);
    }
    grid->addLayout(zone, 3, 1, 1, 3);
    auto* system = new QLabel(QString::fromStdString(form.systemZone), &dialog);
    system->setObjectName("systemZone");
    grid->addWidget(system, 4, 1, 1, 3);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    grid->addWidget(box, 5, 0, 1, 4);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;

    std::optional<int32_t> port;
    if (ports->currentIndex() >= 0) port = ports->currentData().toInt();
    std::optional<int32_t> baudIndex;
    if (baud->currentIndex() >= 0) baudIndex = baud->currentIndex();
    const gps_settings::TimeZoneFields fields{minus->isChecked(), hours->value(), minutes->value()};
    return gps_settings::OnOk(port, form.wantedPort, baudIndex, form.oldBaud, fields);
}

bool QtGpsWindows::Confirm(const std::string& question) {
    QMessageBox box(QMessageBox::Question, "GPS", QString::fromStdString(question),
                    QMessageBox::Ok | QMessageBox::Cancel, parent_);
    box.setObjectName("GPSnewfile");
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void QtGpsWindows::ShowClockMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Set Clock", QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    box.setObjectName("SetTimeFromGPS");
    box.exec();
}

void QtGpsWindows::ShowMap(GpsMap& map) {
    GpsMapWindow window(map, parent_);
    window.exec();
}
