#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <fstream>

#include "app/AppSettings.h"
#include "platform/qt/ColourChooserDialog.h"
#include "platform/qt/OptionForms.h"
#include "platform/qt/SerialTestDialog.h"
#include "tests/display/WhenModal.h"

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "test_option_forms";
    static char* argv[] = {name, nullptr};
    // Beside the offscreen platform's usual screen, a 1024x600 one scaled 2 for large text.
    const std::string config = ZELKORA_BINARY_DIR "/tests/display/option-forms-screens.json";
    std::ofstream(config) << R"({"screens": [
        {"name": "desk", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96},
        {"name": "small", "x": 800, "y": 0, "width": 512, "height": 300, "logicalDpi": 96}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
    static auto* app = new QApplication(argc, argv);
    return *app;
}

QPushButton* buttonWithText(QWidget* dialog, const QString& text) {
    for (auto* b : dialog->findChildren<QPushButton*>()) {
        if (b->text().remove('&') == text) return b;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

QPushButton* okOf(QWidget* dialog) {
    return dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

TEST(OptionForms, FrequencyRangeRefusesThenAcceptsAndQuickPicksRefreshBothFields) {
    application();
    std::string refusal;
    QString highAfterPick;
    whenModal([&](QWidget* dialog) {
        const auto edits = dialog->findChildren<QLineEdit*>();
        ASSERT_EQ(edits.size(), 2);
        EXPECT_EQ(edits[0]->text(), "4");
        EXPECT_EQ(edits[1]->text(), "210");
        // A typed Fmax is replaced by the member when a Min pick refreshes the fields.
        edits[1]->setText("99");
        QTest::mouseClick(buttonWithText(dialog, "8"), Qt::LeftButton);
        highAfterPick = edits[1]->text();
        edits[0]->setText("3");
        whenModal([&](QWidget* box) {
            refusal = dynamic_cast<QMessageBox*>(box)->text().toStdString();
            QTest::mouseClick(dynamic_cast<QMessageBox*>(box)->button(QMessageBox::Ok),
                              Qt::LeftButton);
            // The dialog stayed: a Max pick (which shows Fmin's member, 8, again), a valid
            // Fmin typed, and OK again.
            QTest::mouseClick(buttonWithText(dialog, "160"), Qt::LeftButton);
            EXPECT_EQ(edits[0]->text(), "8");
            edits[0]->setText("12");
            QTest::mouseClick(okOf(dialog), Qt::LeftButton);
        });
        QTest::mouseClick(okOf(dialog), Qt::LeftButton);
    });
    int32_t low = 4, high = 210;
    EXPECT_TRUE(OptionForms::EditFrequencyRange(nullptr, low, high));
    EXPECT_EQ(highAfterPick, "210");
    EXPECT_EQ(refusal, "Please enter an integer between 4 and 100.");
    EXPECT_EQ(low, 12);
    EXPECT_EQ(high, 160);
}

TEST(OptionForms, RecordingOptionsWriteTheSettingsOnOk) {
    application();
    AppSettings s;
    whenModal([&](QWidget* dialog) {
        QTest::mouseClick(buttonWithText(dialog, "32"), Qt::LeftButton);  // Div Ratio pick
        auto* saveOnCal = dialog->findChild<QCheckBox*>();
        // Tab order as on the screen: from the last pick to LineLength, then Max TBC, Slack
        // and the check box.
        QStringList order;
        for (QWidget* w = buttonWithText(dialog, "32"); w != saveOnCal; w = w->nextInFocusChain())
            if (auto* e = qobject_cast<QLineEdit*>(w)) order << e->text();
        EXPECT_EQ(order, QStringList({"5", "5", "1"}));
        QTest::mouseClick(saveOnCal, Qt::LeftButton, {}, QPoint(6, saveOnCal->height() / 2));
        for (auto* e : dialog->findChildren<QLineEdit*>()) {
            if (e->text() == "5" && e->parentWidget() != dialog) e->setText("15");  // Max TBC
        }
        QTest::mouseClick(okOf(dialog), Qt::LeftButton);
    });
    OptionForms::EditRecordingOptions(nullptr, s);
    EXPECT_EQ(s.RecordDivrat, 32);
    EXPECT_EQ(s.RecordUseCalTone, 1);
    EXPECT_EQ(s.autoMaxTBC + s.autoLineLength, 15000000 + 15);  // both fields held 5
}

TEST(OptionForms, FileListShowsTheCountAndTheCurrentFile) {
    application();
    ZelkoraDoc::OpenRequest request;
    request.folder = "/data/Batfiles/";
    // A card written by another program may hold lower-case names; they are offered and
    // returned as spelled, so the chosen file opens.
    request.names = {"Z6122215.03#", "Z6122216.03#", "z6122217.03#"};
    request.countText = "Files: 3";
    request.preselected = 1;
    QStringList labels;
    whenModal([&](QWidget* dialog) {
        for (auto* l : dialog->findChildren<QLabel*>()) labels << l->text();
        auto* list = dialog->findChild<QListWidget*>();
        EXPECT_EQ(list->currentRow(), 1);
        EXPECT_EQ(list->item(2)->text(), "z6122217.03#");
        list->setCurrentRow(2);
        QTest::mouseClick(okOf(dialog), Qt::LeftButton);
    });
    EXPECT_EQ(OptionForms::ChooseFile(nullptr, request),
              std::optional<std::string>("z6122217.03#"));
    EXPECT_TRUE(labels.contains("Files: 3"));
    EXPECT_TRUE(labels.contains("/data/Batfiles/"));
}

// The folder list starts on the folder in use, so OK keeps it; with the folder elsewhere
// OK picks nothing.
TEST(OptionForms, FolderListStartsOnTheFolderInUse) {
    application();
    const std::vector<ZelkoraDoc::FolderChoice> choices = {{"My Documents", "/home/u/Documents"},
                                                           {"CARD", "/media/u/CARD"}};
    QStringList labels;
    auto ok = [&](QWidget* dialog) {
        for (auto* l : dialog->findChildren<QLabel*>()) labels << l->text();
        QTest::mouseClick(okOf(dialog), Qt::LeftButton);
    };
    whenModal(ok);
    EXPECT_EQ(OptionForms::ChooseFolder(nullptr, choices, 1, "/media/u/CARD/Batfiles/"),
              std::optional<size_t>(1));
    EXPECT_TRUE(labels.contains("/media/u/CARD/Batfiles/"));
    whenModal(ok);
    EXPECT_EQ(OptionForms::ChooseFolder(nullptr, choices, std::nullopt, "/srv/bats/"),
              std::nullopt);
}

// A colour picked by finger: a swatch, a step of one channel, kept as a custom colour; the
// custom colour stays after a later Cancel.
TEST(OptionForms, ColourChooserPicksStepsAndKeepsCustomColours) {
    application();
    std::array<uint32_t, 16> custom{};
    custom[1] = 0x123456;
    whenModal([&](QWidget* w) {
        auto* dialog = dynamic_cast<ColourChooserDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        // The key focus shows: a white frame on the black swatch, a frame on a slider's handle.
        auto* slider = dialog->findChild<QSlider*>();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        const QImage unfocused = slider->grab().toImage();
        slider->setFocus(Qt::TabFocusReason);
        EXPECT_NE(slider->grab().toImage(), unfocused);
        dialog->basicSwatch(0)->setFocus(Qt::TabFocusReason);
        const QImage black = dialog->basicSwatch(0)->grab().toImage();
        EXPECT_GT(qGray(black.pixel(2, black.height() / 2)), 200);
        QTest::mouseClick(dialog->basicSwatch(5), Qt::LeftButton);  // red, 0x00BBGGRR 0x0000FF
        for (auto* b : dialog->findChildren<QPushButton*>()) {
            // One step up on each channel; red stays at its top.
            if (b->text() == "+") QTest::mouseClick(b, Qt::LeftButton);
        }
        QTest::mouseClick(dialog->addToCustomButton(), Qt::LeftButton);
        QTest::mouseClick(okOf(dialog), Qt::LeftButton);
    });
    EXPECT_EQ(OptionForms::ChooseColour(nullptr, 0x00FF00, custom),
              std::optional<uint32_t>(0x0101FF));
    EXPECT_EQ(custom[0], 0x0101FFu);
    EXPECT_EQ(custom[1], 0x123456u);

    whenModal([&](QWidget* w) {
        auto* dialog = dynamic_cast<ColourChooserDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->customSwatch(1), Qt::LeftButton);
        EXPECT_EQ(dialog->colour(), 0x123456u);
        QTest::mouseClick(dialog->basicSwatch(4), Qt::LeftButton);  // white, into slot 1
        QTest::mouseClick(dialog->addToCustomButton(), Qt::LeftButton);
        dialog->reject();
    });
    EXPECT_EQ(OptionForms::ChooseColour(nullptr, 0x00FF00, custom), std::nullopt);
    EXPECT_EQ(custom[1], 0xFFFFFFu);
}

// Large text scales a 1024x600 screen to 512x300: Serial Test (smaller text, the names at
// the size of their figures) and Open keep their buttons on it.
TEST(OptionForms, SerialTestAndOpenFitAShortScreen) {
    application();
    AppSettings s;
    QWidget parent;
    parent.setScreen(QGuiApplication::screens().at(1));
    qApp->setStyleSheet("QDialog QPushButton { min-height: 20px; }");  // as the window has
    SerialTestDialog serial(s, {}, &parent);
    EXPECT_LE(serial.sizeHint().height(), 300);
    EXPECT_EQ(serial.findChild<QLabel*>()->font().pixelSize(),
              serial.field("Port")->font().pixelSize());
    qApp->setStyleSheet({});
    whenModal([&](QWidget* dialog) {
        EXPECT_LE(dialog->height(), 300);
        dialog->close();
    });
    EXPECT_EQ(OptionForms::ChooseAnyFile(&parent, "/"), std::nullopt);
}

}  // namespace
