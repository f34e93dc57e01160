#include "platform/qt/ZelkoraFrame.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <thread>

#include "app/AboutInfo.h"
#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "display/SpeedTest.h"
#include "display/TimeScale.h"
#include "display/ViewMenus.h"
#include "display/WindowFit.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/GpsMenuBar.h"
#include "platform/qt/OptionForms.h"
#include "platform/qt/PortSearchDialog.h"
#include "platform/qt/QtGraphics.h"
#include "platform/qt/ScreenFit.h"
#include "platform/qt/SerialTestDialog.h"

ZelkoraFrame::ZelkoraFrame(AppSettings& settings, ZelkoraDoc& doc)
    : settings_(settings), doc_(doc), view_(new ZelkoraView(settings, this)) {
    setWindowTitle("Zelkora");
    platform::qt::makeDialogsFingerSized(screen());
    platform::qt::keepDialogsAboveKeyboard();
    doc_.gps().setReopenLostPort(true);
    setCentralWidget(view_);
    buildMenus();
    doc_.onFileChanged = [this] { ShowCurrentFile(); };
    // The document's GPS poll runs on the view's one-second tick, before the clock is drawn.
    // The document's one-second task (idle seconds, the GPS poll) runs once a second through
    // the live session; the clock shows the GPS state it read.
    view_->plotView().gpsState = [this] { return gpsState_; };
    input_ = std::make_unique<ViewInput>(settings_, view_->plotView(), doc_, *this, hooks_);
    live_ = std::make_unique<LiveSession>(settings_, doc_, view_->plotView(), input_->fullScreen(),
                                          *this);
    hooks_.live = live_.get();
    hooks_.serialTest = [this] { runSerialTest(); };
    displayTimer_ = new QTimer(this);
    displayTimer_->setTimerType(Qt::PreciseTimer);
    displayTimer_->setInterval(25);
    connect(displayTimer_, &QTimer::timeout, this, [this] { live_->DisplayTick(); });
    view_->onSecond = [this] { gpsState_ = live_->SecondTick(); };
    view_->SetInput(input_.get());
    view_->setFocus();
}

ZelkoraFrame::~ZelkoraFrame() {
    view_->onSecond = nullptr;
    view_->SetInput(nullptr);
}

void ZelkoraFrame::StartDisplayTimer() {
    displayTimer_->start();
}

void ZelkoraFrame::StopDisplayTimer() {
    displayTimer_->stop();
}

int32_t ZelkoraFrame::SearchPorts(acquisition::CommFile& port) {
    // The dialog leaves the port open on the module it found; the recording starts there.
    return PortSearchDialog::Run(settings_, port, this, portStatusHoldMs);
}

void ZelkoraFrame::ShowLiveMenuBar(bool live) {
    for (QAction* a : menuBar()->actions()) a->setVisible(a == stopAction_ ? live : !live);
}

void ZelkoraFrame::ShowOnScreen() {
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QRect area = s != nullptr ? s->availableGeometry() : QRect(0, 0, 960, 600);
    const WindowFit::Placement p =
        WindowFit::Initial(area.left(), area.top(), area.width(), area.height());
    if (p.maximised) {
        setGeometry(area);
        showMaximized();
    } else {
        resize(p.width, p.height);
        move(p.x, p.y);
        show();
        // The window system's border comes on top of the size: a window that no longer fits
        // takes the whole area instead.
        if (!area.contains(frameGeometry())) {
            setGeometry(area);
            showMaximized();
        }
    }
    // Without a window manager (a touch board) nothing gives the window the keyboard, and the
    // menu bar's keys (Page Up and Down, Ctrl+O) would do nothing.
    activateWindow();
}

void ZelkoraFrame::RunMenu(DialogMenuTemplate& menu) {
    ButtonMenuDialog::Run(menu, this);
}

bool ZelkoraFrame::AskYesNo(const std::string& text) {
    return QMessageBox::question(this, "Zelkora", QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void ZelkoraFrame::ApplyFullScreen(bool on) {
    menuBar()->setVisible(!on);
    if (on) {
        if (!isFullScreen()) {
            maximisedBeforeFullScreen_ = isMaximized();
            geometryBeforeFullScreen_ = geometry();
        }
        platform::qt::showCoveringScreen(*this, this);
        show();
    } else if (maximisedBeforeFullScreen_) {
        showMaximized();
    } else {
        showNormal();
        // Covering the screen took the screen's size as the window's own, and the window
        // manager (or a Wayland compositor, which has no other) restored that: a window
        // as large as the screen, its frame and title bar past the edges.
        setGeometry(geometryBeforeFullScreen_);
    }
}

void ZelkoraFrame::CloseWindow() {
    // Posted: the question box that asked is gone before the window closes.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void ZelkoraFrame::OpenFile() {
    const ZelkoraDoc::OpenRequest request = doc_.PrepareOpen();
    if (auto name = OptionForms::ChooseFile(this, request)) doc_.OpenChosen(*name);
}

bool ZelkoraFrame::EditFrequencyRange(int32_t& lowKHz, int32_t& highKHz) {
    return OptionForms::EditFrequencyRange(this, lowKHz, highKHz);
}

void ZelkoraFrame::RecordingOptions() {
    OptionForms::EditRecordingOptions(this, settings_);
}

void ZelkoraFrame::DisplayOptions() {
    // Colours are taken as they are chosen and put back on Cancel: rebuilt either way.
    if (OptionForms::EditDisplayOptions(this, settings_) != 0) view_->plotView().MakeColours();
}

void ZelkoraFrame::ChooseFolder() {
    const std::vector<ZelkoraDoc::FolderChoice> choices = doc_.FolderChoices();
    const auto index = OptionForms::ChooseFolder(this, choices, doc_.CurrentFolderChoice(choices),
                                                 settings_.GPath);
    if (index) doc_.ChooseFolder(choices[*index]);
}

void ZelkoraFrame::closeEvent(QCloseEvent* event) {
    // The worker and the module's stream end with the window.
    live_->StopRecording();
    doc_.SaveSettings();
    QMainWindow::closeEvent(event);
}

void ZelkoraFrame::ShowCurrentFile() {
    view_->ShowDocument(&doc_.dots(), doc_.currentFileName(), doc_.statusText());
}

void ZelkoraFrame::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Open...", QKeySequence::Open, this, [this] { openFile(); });
    file->addSeparator();
    file->addAction("&First file", this, [this] { doc_.First(); });
    file->addAction("&Previous file", QKeySequence(Qt::Key_PageUp), this,
                    [this] { doc_.Previous(); });
    file->addAction("&Next file", QKeySequence(Qt::Key_PageDown), this, [this] { doc_.Next(); });
    file->addAction("&Last file", this, [this] { doc_.Last(); });
    file->addSeparator();
    file->addAction("E&xit", QKeySequence::Quit, this, [this] { close(); });

    recordMenu_ = menuBar()->addMenu("&Rec");
    const std::pair<const char*, int32_t> recordItems[] = {
        {"&Record", LiveSession::kRecord},
        {"&Monitor", LiveSession::kMonitor},
        {"&Save", LiveSession::kSave},
        {"S&top", LiveSession::kStop},
        {"Choose &port", LiveSession::kChoosePort}};
    for (const auto& [text, code] : recordItems) {
        QAction* a =
            recordMenu_->addAction(text, this, [this, code] { live_->RecordCommand(code); });
        a->setData(code);
        a->setCheckable(code == LiveSession::kRecord || code == LiveSession::kMonitor);
    }
    connect(recordMenu_, &QMenu::aboutToShow, this, [this] { updateRecordMenu(); });

    timeMenu_ = menuBar()->addMenu("&Time");
    auto addTime = [this](const QString& text, int32_t command) {
        QAction* a = timeMenu_->addAction(
            text, this, [this, command] { view_->plotView().SetTimeScale(command); });
        a->setCheckable(true);
        a->setData(command);
    };
    addTime("Comp", PlotView::kTimeCommandComp);
    for (int i = 1; i <= 10; ++i) addTime(QString("F%1").arg(i), TimeScale::kFirstTimed + i - 1);
    for (int i = 1; i <= 4; ++i) addTime(QString("Dpp%1").arg(i), i);
    timeMenu_->addSeparator();
    QAction* all =
        timeMenu_->addAction("All file", this, [this] { view_->plotView().ToggleAllFile(); });
    all->setCheckable(true);
    all->setData(-1);
    QAction* stricter =
        timeMenu_->addAction("Filter stricter", this, [this] { view_->plotView().StepFilter(3); });
    stricter->setData(-2);
    QAction* looser =
        timeMenu_->addAction("Filter looser", this, [this] { view_->plotView().StepFilter(-3); });
    looser->setData(-3);
    connect(timeMenu_, &QMenu::aboutToShow, this, [this] { updateTimeMenu(); });

    graphicsMenu_ = menuBar()->addMenu("&Graphics");
    const char* names[] = {"Best", "DirectDraw", "GAPI", "DC only"};
    for (int i = 0; i < 4; ++i) {
        QAction* a =
            graphicsMenu_->addAction(names[i], this, [this, i] { view_->ChooseGraphics(i); });
        a->setCheckable(true);
        a->setData(i);
    }
    graphicsMenu_->addSeparator();
    graphicsMenu_->addAction("GraphSpeed", this, [this] { RunSpeedTest(); })->setData(-1);
    connect(graphicsMenu_, &QMenu::aboutToShow, this, [this] { updateGraphicsMenu(); });

    AddGpsMenu(*menuBar(), gps_);

    QMenu* keeping = menuBar()->addMenu("Time&Keeping");
    auto* group = new QActionGroup(keeping);
    const char* sources[] = {"From detector", "From PDA"};
    for (int i = 0; i < 2; ++i) {
        QAction* a = keeping->addAction(sources[i], this, [this, i] { settings_.TimeKeeping = i; });
        a->setCheckable(true);
        group->addAction(a);
    }
    connect(keeping, &QMenu::aboutToShow, this, [this, keeping] {
        const auto actions = keeping->actions();
        for (int i = 0; i < actions.size(); ++i) actions[i]->setChecked(settings_.TimeKeeping == i);
    });

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About Zelkora...", this, [this] { showAbout(); });

    stopAction_ = menuBar()->addAction("STOP", this, [this] { live_->StopRecording(); });
    stopAction_->setVisible(false);

    // A menu item, by its key (Page Down) as by the mouse, is the user acting: the start-up
    // hint goes, as it does on a tap. A graphics choice shows the hint of its own.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        if (menu == graphicsMenu_) continue;
        connect(menu, &QMenu::triggered, this, [this] { view_->plotView().EndHint(); });
    }
}

void ZelkoraFrame::updateRecordMenu() {
    for (QAction* a : recordMenu_->actions()) {
        const LiveSession::ItemState state = live_->MenuItem(a->data().toInt());
        a->setEnabled(state.enabled);
        a->setChecked(state.checked);
    }
}

namespace {

// The speed test's window system: a present and the margins go to a picture of the view's
// size (painting into the window itself is only allowed while it paints), a whole paint
// goes through the window system.
class SpeedTestHost : public SpeedTest::Host {
  public:
    explicit SpeedTestHost(ZelkoraView& view)
        : view_(view),
          image_(view.size(), QImage::Format_RGB16),
          painter_(&image_),
          dc_(painter_, view.viewFont()) {
        clock_.start();
    }
    bool AskOkCancel(const std::string& text) override {
        return QMessageBox::question(&view_, "Zelkora", QString::fromStdString(text),
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }
    void ShowResult(const std::string& text) override {
        QMessageBox box(QMessageBox::NoIcon, "Zelkora", QString::fromStdString(text),
                        QMessageBox::Ok, &view_);
        box.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        box.exec();
    }
    void StopClock() override { view_.StopClock(); }
    void StartClock() override { view_.StartClock(); }
    uint32_t TickMs() override { return static_cast<uint32_t>(clock_.elapsed()); }
    // A zero-length sleep gives up the rest of the time slice; sleep_for(0) returns at once
    // without asking the system.
    void SleepZero() override { std::this_thread::yield(); }
    platform::WindowDc& Window() override { return dc_; }
    void PaintPending() override {
        view_.update();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    void RedrawPlot() override { view_.plotView().FullRedraw(); }

  private:
    ZelkoraView& view_;
    QImage image_;
    QPainter painter_;
    platform::qt::QtWindowDc dc_;
    QElapsedTimer clock_;
};

}  // namespace

void ZelkoraFrame::RunSpeedTest() {
    SpeedTestHost host(*view_);
    SpeedTest test(settings_, view_->surface(), host);
    test.batchMs = speedTestBatchMs;
    test.Run();
}

void ZelkoraFrame::runSerialTest() {
    // The module belongs to a recording while one runs.
    if (doc_.recording()) return;
    // A recording that ended leaves the module's port open, and the port is exclusive.
    doc_.recorder().modulePort().close();
    SerialTestDialog dialog(settings_,
                            {[this] { return doc_.DataFolder(); },
                             [this](acquisition::CommFile& port, QWidget* parent) {
                                 return PortSearchDialog::Run(settings_, port, parent,
                                                              portStatusHoldMs);
                             }},
                            this);
    dialog.exec();
    view_->update();
}

void ZelkoraFrame::updateGraphicsMenu() {
    const GraphicsBackEnd inUse = view_->surface().GetBackEnd();
    for (QAction* a : graphicsMenu_->actions()) {
        if (a->data().toInt() < 0) continue;
        a->setChecked(
            ViewMenus::GraphicsChecked(a->data().toInt(), settings_.GraphicsSystem, inUse));
    }
}

void ZelkoraFrame::updateTimeMenu() {
    const PlotView& v = view_->plotView();
    for (QAction* a : timeMenu_->actions()) {
        if (a->isSeparator()) continue;
        if (a->data().toInt() < 0) {
            // All file and the filter steps act whenever no recording runs.
            a->setEnabled(!v.live());
            if (a->data().toInt() == -1) a->setChecked(v.allFile());
            continue;
        }
        const ViewMenus::ItemState state = ViewMenus::TimeItem(
            a->data().toInt(), v.live(), v.allFile(), v.compressed(), v.timeScale());
        a->setEnabled(state.enabled);
        a->setChecked(state.checked);
    }
}

void ZelkoraFrame::openFile() {
    if (const auto path = OptionForms::ChooseAnyFile(this, doc_.folderPath())) doc_.OpenPath(*path);
}

void ZelkoraFrame::showAbout() {
    const VersionResource resource = AboutInfo::ThisProgram();
    const AboutText text = AboutInfo::Make(&resource, AboutInfo::ThisBuildStamp());
    QDialog box(this);
    box.setWindowTitle(QString::fromStdString(text.title));
    auto* layout = new QVBoxLayout(&box);
    // OK in the bottom-right corner, 2 pixels in from the edges.
    const QMargins m = layout->contentsMargins();
    layout->setContentsMargins(m.left(), m.top(), 2, 2);
    for (const std::string* line : {&text.comments, &text.copyright, &text.company, &text.version,
                                    &text.release, &text.built}) {
        layout->addWidget(new QLabel(QString::fromStdString(*line), &box));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addStretch(1);
    layout->addWidget(buttons, 0, Qt::AlignRight | Qt::AlignBottom);
    box.exec();
}
