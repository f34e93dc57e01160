#include "platform/qt/SerialTestDialog.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/AppSettings.h"
#include "platform/qt/ScreenFit.h"

namespace {

constexpr const char* kLabels[] = {
    "Port",       "Recording?",      "No of transitions", "Transition time",
    "Real time",  "Bad transitions", "Bad time",          "Overflows",
    "O'flow time"};

constexpr int kTextPixels = 20;
constexpr int kSmallestTextPixels = 10;
constexpr int kButtonHeight = 52;

}  // namespace

SerialTestDialog::SerialTestDialog(AppSettings& settings, Host host, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      host_(std::move(host)),
      timer_(new QTimer(this)),
      store_(new QCheckBox("Store to file", this)),
      run_(new QPushButton("Run", this)),
      close_(new QPushButton("Close", this)) {
    setObjectName("SerialTest");
    setWindowTitle("Serial Test");

    auto* grid = new QGridLayout(this);
    int row = 0;
    for (const char* label : kLabels) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto* value = new QLabel(this);
        value->setObjectName(label);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
    grid->addWidget(store_, row++, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {run_, close_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, row, 0, 1, 2);
    fitToHeight(platform::qt::roomForDialog(parent).height());

    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        state_.ShowStats(test_.texts());
        refresh();
    });
    connect(run_, &QPushButton::clicked, this, [this] { runPressed(); });
    connect(close_, &QPushButton::clicked, this, &SerialTestDialog::reject);
    connect(store_, &QCheckBox::toggled, this, [this](bool on) { state_.SetStoreToFile(on); });

    state_.Open();
    store_->setChecked(false);
    refresh();
}

SerialTestDialog::~SerialTestDialog() = default;

void SerialTestDialog::fitToHeight(int pixels) {
    // Large enough to read at arm's length on a small touch panel, and to hit with a finger;
    // a size smaller at a time where the screen is too short for that (large desktop fonts
    // scale a 1024x600 screen to 512x300), where Run and Close were below its foot.
    for (int size = kTextPixels;; --size) {
        setTextPixels(size);
        if (size <= kSmallestTextPixels || sizeHint().height() <= pixels) return;
    }
}

void SerialTestDialog::setTextPixels(int size) {
    QFont text = font();
    text.setPixelSize(size);
    setFont(text);
    // Under the application's style sheet a dialog's font does not reach the children it
    // already has: each gets it.
    for (QWidget* child : findChildren<QWidget*>()) child->setFont(text);
    setStyleSheet(QString("QCheckBox::indicator { width: %1px; height: %1px; }").arg(size));
    // Figures in a fixed-width font, so that they stand still while they count.
    QFont figures = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    figures.setPixelSize(size);
    for (const char* label : kLabels) field(label)->setFont(figures);
    for (QPushButton* b : {run_, close_}) b->setMinimumHeight(kButtonHeight * size / kTextPixels);
    // Wide enough for the figures of a run of up to 99 hours, so that the dialog keeps its
    // size while counting; room for a thousand hours made it wider than a panel turned
    // upright, which cut the figures off.
    field("Bad time")
        ->setMinimumWidth(QFontMetrics(figures).horizontalAdvance("-99h  59m  59s 999 999"));
}

QLabel* SerialTestDialog::field(const QString& label) const {
    return findChild<QLabel*>(label);
}

void SerialTestDialog::runPressed() {
    switch (state_.RunPressed()) {
        case SerialTestDialogState::RunAction::Stop:
            test_.RequestStop();
            refresh();
            return;
        case SerialTestDialogState::RunAction::None:
            return;
        case SerialTestDialogState::RunAction::Start:
            start();
            return;
    }
}

void SerialTestDialog::start() {
    test_.ResetStats();
    refresh();
    const std::string folder = host_.dataFolder ? host_.dataFolder() : std::string();
    if (folder.empty()) return;

    int32_t port = settings_.SerialPort;
    if (!test_.OpenModule(port)) {
        port = host_.searchPorts ? host_.searchPorts(test_.port(), this) : 0;
        if (port <= 0 || !test_.port().isOpen()) {
            test_.port().close();
            return;
        }
    }
    const acquisition::SerialTest::StartResult result = test_.Start(
        state_.storeToFile() ? folder + acquisition::SerialTest::kCaptureName : std::string(),
        [this] { ended(); });
    if (result == acquisition::SerialTest::StartResult::CannotOpenFile) {
        QMessageBox::warning(this, "Zelkora", SerialTestDialogState::kCannotOpenOutputFile,
                             QMessageBox::Ok);
    }
    if (result != acquisition::SerialTest::StartResult::Started) return;
    state_.Started(port);
    state_.ShowStats(test_.texts());
    timer_->start();
    refresh();
}

void SerialTestDialog::ended() {
    timer_->stop();
    state_.Idle();
    state_.ShowStats(test_.texts());
    refresh();
    if (test_.captureFailed()) {
        QMessageBox::warning(this, "Zelkora", SerialTestDialogState::kCannotWriteOutputFile,
                             QMessageBox::Ok);
    }
}

void SerialTestDialog::reject() {
    timer_->stop();
    test_.Stop();
    state_.Idle();
    QDialog::reject();
}

void SerialTestDialog::refresh() {
    const acquisition::SerialTestStats::Texts& s = state_.stats();
    const std::string texts[] = {
        state_.portText(), state_.recordingText(), s.transitions, s.transitionTime,
        s.realTime,        s.badTransitions,       s.badTime,     s.overflows,
        s.overflowTime};
    static_assert(std::size(texts) == std::size(kLabels));
    for (size_t i = 0; i < std::size(kLabels); ++i)
        field(kLabels[i])->setText(QString::fromStdString(texts[i]));
    run_->setText(QString::fromStdString(state_.buttonText()));
    run_->setEnabled(state_.buttonEnabled());
    store_->setEnabled(state_.storeEnabled());
}
