// A user sets the receiver up and connects it by finger: the settings dialog, a Connect on
// no port that fails, then Files -> Main Menu -> GPS -> Connect on a pseudo-terminal that
// replays a real capture, the track on the map, a new track file; and a recording from the
// module simulator made meanwhile is tagged with the replayed position. The poll runs on the
// view's own one-second timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "app/DialogFields.h"
#include "app/ZelkoraDoc.h"
#include "gps/GpsPoll.h"
#include "gps/GpsReceiver.h"
#include "gps/TrackRecord.h"
#include "platform/LocalClock.h"
#include "platform/MemoryProfileStore.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/GpsMapWindow.h"
#include "platform/qt/ZelkoraFrame.h"
#include "sequence/SequenceFormat.h"
#include "tests/tools/WindowSteps.h"
#include "tools/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
constexpr int32_t kPort = 214;

// Runs `act` on the next modal window of type T (other modal windows are waited out).
template <typename T>
void whenModal(std::function<void(T*)> act, int tries = 0) {
    QTimer::singleShot(10, [act, tries] {
        auto* modal = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal->isVisible()) {
            act(modal);
        } else if (tries < 500) {
            whenModal<T>(act, tries + 1);
        } else {
            ADD_FAILURE() << "the expected modal window did not come up";
        }
    });
}

// The button menu whose slot 1 reads `first`: presses `slot`, after arming `next`.
void pressInMenu(const QString& first, int slot, std::function<void()> next = {}) {
    whenModal<ButtonMenuDialog>([first, slot, next](ButtonMenuDialog* menu) {
        EXPECT_EQ(menu->button(1)->text(), first);
        if (next) next();
        QTest::mouseClick(menu->button(slot), Qt::LeftButton);
    });
}

// Files -> Main Menu -> `menu` -> `slot` by taps, starting with a tap in the view's menu
// area; `first` is slot 1's caption of that last menu.
void tapMenuCommand(ZelkoraFrame& frame, int menu, const QString& first, int slot,
                    std::function<void()> next = {}) {
    pressInMenu("Prev File", 11,
                [=] { pressInMenu("File", menu, [=] { pressInMenu(first, slot, next); }); });
    QTest::mouseClick(&frame.view(), Qt::LeftButton, {},
                      testing_support::centre(frame.view().plotView().menuArea()));
}

// Main Menu -> GPS -> `slot`; slot 1 reads "Disconnect" while connected.
void tapGpsCommand(ZelkoraFrame& frame, int slot, std::function<void()> next = {}) {
    tapMenuCommand(frame, 6, frame.gps().ConnectText(), slot, next);
}

std::string capturePart(size_t limit) {
    std::ifstream in(fs::path(ZELKORA_SHARED_DATA) / "nmea" / "haicom-305N.log", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > limit) text.resize(text.rfind('\n', limit) + 1);
    return text;
}

// The fixes of the GGA sentences the link accepts: those that get a track record.
std::vector<GpsFix> fixesIn(const std::string& text) {
    GpsReceiver receiver;
    std::vector<GpsFix> fixes;
    for (char c : text) {
        if ((receiver.AddChar(static_cast<uint8_t>(c)) & GpsReceiver::kGga) &&
            receiver.validity() > 0)
            fixes.push_back(receiver.current());
    }
    return fixes;
}

int64_t utcNowMicroseconds() {
    return JulianTime::now().value() - platform::localUtcOffsetSeconds() * 1000000;
}

// The offscreen platform with one 800 x 480 screen, the size of a field board's panel.
QApplication& application(const std::string& root) {
    static QApplication* app = nullptr;
    if (app == nullptr) {
        std::ofstream(root + "/screen.json") << R"({"screens": [{"name": "panel", "x": 0,
            "y": 0, "width": 800, "height": 480, "logicalDpi": 96, "logicalBaseDpi": 96,
            "dpr": 1}]})";
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + root + "/screen.json").c_str(), 1);
        static int argc = 1;
        static char name[] = "test_gps_window";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
    }
    return *app;
}

TEST(GpsWindow, SettingsConnectMapNewTrackFileAndARecordingTaggedWithThePosition) {
    // The receiver's pseudo-terminal, registered as port kPort in a private runtime folder.
    QTemporaryDir dir;
    testing_support::PrivateRuntimeDir runtime;
    testing_support::PtyPeer peer;
    ASSERT_TRUE(dir.isValid() && peer.ok());
    runtime.registerPort(kPort, peer.slavePath(), "GPS simulator");
    const std::string root = dir.path().toStdString();
    application(root);

    AppSettings& settings = appSettings();
    const AppSettings saved = settings;
    settings.GPath = root + "/Batfiles/";
    fs::create_directories(settings.GPath);
    settings.GPSport = 33;
    settings.GPSbaudrate = 9600;
    settings.GPStz = -330;
    settings.MapWidth = 0;
    settings.MapBigDots = 0;
    settings.FullScreen = 0;
    platform::MemoryProfileStore store;
    {
        ZelkoraDoc doc(settings, store);
        ZelkoraFrame frame(settings, doc);
        ASSERT_TRUE(testing_support::showFrame(frame, doc));
        QStringList rates;
        int maxHours = 0, maxMinutes = 0;
        QString zone, refusal;
        whenModal<QDialog>([&](QDialog* dialog) {
            auto* baud = dialog->findChild<QComboBox*>("baud");
            auto* ports = dialog->findChild<QComboBox*>("ports");
            auto* hours = dialog->findChild<QSpinBox*>("h");
            auto* minutes = dialog->findChild<QSpinBox*>("m");
            auto* minus = dialog->findChild<QRadioButton*>("minus");
            ASSERT_TRUE(baud && ports && hours && minutes && minus);
            for (int i = 0; i < baud->count(); ++i) rates << baud->itemText(i);
            EXPECT_EQ(baud->currentText(), "9600");
            EXPECT_TRUE(minus->isChecked());
            EXPECT_EQ(hours->value(), 5);
            EXPECT_EQ(minutes->value(), 30);
            maxHours = hours->maximum();
            maxMinutes = minutes->maximum();
            zone = dialog->findChild<QLabel*>("systemZone")->text();
            // Tab as on the screen: -, hours, +, -, minutes.
            QStringList order;
            for (QWidget* w = minus->nextInFocusChain(); w != minutes; w = w->nextInFocusChain())
                if (auto* b = qobject_cast<QPushButton*>(w)) order << b->text();
            EXPECT_EQ(order, QStringList({"-", "+", "-"}));
            // Five and a half hours typed as "5,5": refused aloud, not the comma dropped.
            whenModal<QMessageBox>([&](QMessageBox* box) {
                refusal = box->text();
                box->accept();
            });
            QTest::keyClicks(hours, "5,5");
            ports->setCurrentIndex(-1);
            baud->setCurrentIndex(8);
            hours->setValue(10);
            minutes->setValue(0);
            dialog->findChild<QRadioButton*>("plus")->setChecked(true);
            dialog->accept();
        });
        frame.gps().Perform(GpsViewCommands::kSettings);
        EXPECT_EQ(rates, QStringList({"2400", "4800", "7200", "9600", "14400", "19200", "38400",
                                      "57600", "115200"}));
        EXPECT_EQ(maxHours, 12);
        EXPECT_EQ(maxMinutes, 59);
        EXPECT_TRUE(zone.startsWith("System: UTC")) << zone.toStdString();
        EXPECT_EQ(refusal.toStdString(), DialogFields::kNotAnInteger);
        EXPECT_EQ(settings.GPSport, 33);  // no port listed: the remembered one is kept
        EXPECT_EQ(settings.GPSbaudrate, 115200);
        EXPECT_EQ(settings.GPStz, 600);

        // Connect on a port that is not there: "Connection Failed", up for two seconds at
        // least (it cannot be read otherwise), and the map still opens after it.
        bool mapShown = false;
        QElapsedTimer clock;
        qint64 failureUp = 0;
        whenModal<GpsMapWindow>([&](GpsMapWindow* map) {
            mapShown = true;
            failureUp = clock.elapsed();
            map->reject();
        });
        clock.start();
        frame.gps().Perform(GpsViewCommands::kConnect);
        EXPECT_TRUE(mapShown);
        EXPECT_GE(failureUp, 2000);

        // The failed link still counts as connected until the user disconnects it. Then the
        // receiver's port at its rate; the record stamps are UTC whichever way the zone is taken.
        const std::string capture = capturePart(9000);
        if (capture.empty()) GTEST_SKIP() << "the shared NMEA captures are not there";
        ASSERT_STREQ(frame.gps().ConnectText(), "Disconnect");
        frame.gps().Perform(GpsViewCommands::kConnect);
        settings.GPSport = kPort;
        settings.GPSbaudrate = 4800;
        settings.GPStz = static_cast<int32_t>(platform::localUtcOffsetSeconds() / 60);
        const fs::path track = fs::path(settings.GPath) / "GPS.zlg";
        const std::vector<GpsFix> fixes = fixesIn(capture);
        ASSERT_GT(fixes.size(), 10u);

        const int64_t start = utcNowMicroseconds();
        std::atomic<bool> sent{false};
        std::thread simulator;
        QString status, satellites, scale;
        int trackPixels = 0, markerPixels = 0;
        tapGpsCommand(frame, 1, [&] {
            whenModal<GpsMapWindow>([&](GpsMapWindow* map) {
                // The receiver starts talking once the map is up.
                simulator = std::thread([&] {
                    for (size_t at = 0; at < capture.size(); at += 1500) {
                        const std::string part = capture.substr(at, 1500);
                        peer.send(std::vector<uint8_t>(part.begin(), part.end()));
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    }
                    sent = true;
                });
                const auto records = [&] { return fs::exists(track) ? fs::file_size(track) : 0; };
                for (int i = 0; i < 1500 && !(sent && records() == 32 * fixes.size()); ++i)
                    QTest::qWait(10);
                QTest::qWait(50);
                status = map->statusLabel()->text();
                satellites = map->satelliteLabel()->text();
                const QImage image = map->mapImage();
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) {
                        const uint32_t c = ImageMapCanvas::fromArgb(image.pixel(x, y));
                        if (c == settings.MapCrecent || c == settings.MapCtrack) ++trackPixels;
                        if (c == settings.MapCcurrent) ++markerPixels;
                    }
                }
                if (const char* pictures = std::getenv("ZELKORA_SCREENSHOTS"))
                    map->grab().save(QString::fromLocal8Bit(pictures) + "/gps-map.png");
                // "Menu" (Return) -> "Resolution" -> "1km": the map redraws at that scale.
                pressInMenu("Resolution", 1, [] { pressInMenu("100m", 4); });
                QTest::keyClick(map, Qt::Key_Return);
                scale = map->scaleLabel()->text();
                // A tap in the middle of the map closes it.
                QTest::mouseClick(map->mapArea(), Qt::LeftButton);
            });
        });
        // The taps' menus and the map ran modally inside the first tap.
        if (simulator.joinable()) simulator.join();

        EXPECT_EQ(frame.gpsWindows().progressTexts(),
                  (std::vector<std::string>{"Connecting to GPS", "Port 33 - please wait",
                                            "Connection Failed", "Connecting to GPS",
                                            "Port 214 - please wait", "Setting Timeouts",
                                            "Opening ZLG file"}));
        EXPECT_TRUE(status.contains(QRegularExpression(
            R"(^\s*(2D|3D|D2D|D3D)  \s*-27\.21\d{3}  \s*153\.05\d{3}  Alt\s+-?\d+$)")))
            << status.toStdString();
        EXPECT_TRUE(satellites.startsWith("Nsats = ")) << satellites.toStdString();
        EXPECT_EQ(scale, "Scale:  1km");
        EXPECT_EQ(settings.MapWidth, 10000);
        EXPECT_GT(trackPixels, 1);
        EXPECT_EQ(markerPixels, 49);  // one 7 x 7 marker

        // One record per accepted GGA, each stamped with the machine's UTC.
        const std::vector<uint8_t> bytes = [&] {
            std::ifstream in(track, std::ios::binary);
            return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        }();
        ASSERT_EQ(bytes.size(), 32 * fixes.size());
        const int64_t end = utcNowMicroseconds();
        for (size_t at = 0; at < bytes.size(); at += 32) {
            TrackRecord r;
            ASSERT_TRUE(r.decode(std::span<const uint8_t, 32>(bytes.data() + at, 32)));
            const int64_t stamp =
                JulianTime::fromDate(r.year, r.month, r.day).value() + int64_t{r.timeMs} * 1000;
            EXPECT_GE(stamp, start - 1000000);
            EXPECT_LE(stamp, end + 1000000);
        }
        // The status line's GPS letter: a fix ('g', 'd', 'G' or 'D'), or '-' once stale.
        EXPECT_NE(std::string("-gdGD").find(frame.view().plotView().clockText().at(0)),
                  std::string::npos)
            << frame.view().plotView().clockText();
        EXPECT_GT(frame.gps().map().pointCount(), 0);

        EXPECT_STREQ(frame.gps().ConnectText(), "Disconnect");
        // New File, confirmed: GPS.zlg starts afresh and the map's track with it.
        QString question;
        tapGpsCommand(frame, 6, [&] {
            whenModal<QMessageBox>([&](QMessageBox* box) {
                question = box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
        });
        EXPECT_EQ(question.toStdString(), GpsLink::kNewFileQuestion);
        EXPECT_EQ(fs::file_size(track), 0u);
        EXPECT_EQ(fs::file_size(fs::path(settings.GPath) / "GPS0001.zlg"), 32 * fixes.size());
        EXPECT_EQ(frame.gps().map().pointCount(), 0);

        // While the receiver sends over and over, as one left on all night does, a recording
        // from the module simulator is started by taps (Files -> Main Menu -> Record ->
        // "Record"), saved by a tap on the name field and stopped by F1: the file saved holds
        // the replayed position.
        testing_support::ChildProcess module(
            {std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool",
             "simulate-module", "--mix", "passes", "--calls-per-second", "10", "--seed", "5"},
            root + "/module.err");
        std::string first;
        ASSERT_TRUE(module.readLine(first, 5000));
        ASSERT_EQ(first.rfind("COM", 0), 0u) << first;
        settings.SerialPort = std::atoi(first.c_str() + 3);
        std::atomic<bool> stop{false};
        std::thread receiver([&] {
            for (size_t at = 0; !stop; at = (at + 1500) % capture.size()) {
                const std::string part = capture.substr(at, 1500);
                peer.send(std::vector<uint8_t>(part.begin(), part.end()));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        EXPECT_TRUE(
            testing_support::waitUntil([&] { return doc.gps().poll().positionMode() == 1; }, 5000));
        PlotView& plot = frame.view().plotView();
        tapMenuCommand(frame, 4, "Record", 1);
        EXPECT_TRUE(doc.recorder().recording());
        testing_support::waitUntil([&] { return plot.liveDotCount() >= 200; }, 5000);
        QTest::mouseClick(&frame.view(), Qt::LeftButton, {},
                          testing_support::centre(plot.statusFields().name));
        testing_support::waitUntil([&] { return !doc.lastSavedName().empty(); }, 3000);
        QTest::keyClick(&frame.view(), Qt::Key_F1);
        EXPECT_FALSE(doc.recorder().recording());
        const std::string name = doc.lastSavedName();
        stop = true;
        receiver.join();
        module.signal(SIGTERM);
        EXPECT_EQ(module.wait(5000), 0);

        ASSERT_FALSE(name.empty()) << "nothing was saved";
        std::ifstream in(fs::path(root) / "Batfiles" / name, std::ios::binary);
        const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
        SequenceFileHeader header;
        ASSERT_TRUE(readSequenceHeader(image, header)) << name;
        double latitude = 0, longitude = 0;
        int32_t altitude = 0;
        ASSERT_TRUE(header.position.decode(latitude, longitude, altitude))
            << header.position.text();
        // One of the replayed fixes, to the block's hundred-thousandth of a degree.
        EXPECT_TRUE(std::any_of(fixes.begin(), fixes.end(), [&](const GpsFix& f) {
            return std::fabs(f.latitude - latitude) <= 0.5e-5 + 1e-9 &&
                   std::fabs(f.longitude - longitude) <= 0.5e-5 + 1e-9 &&
                   GpsPoll::WholeMetres(f.altitude) == altitude;
        })) << header.position.text();
    }
    settings = saved;
}

}  // namespace
