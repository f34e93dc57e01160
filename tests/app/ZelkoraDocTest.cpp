#include "app/ZelkoraDoc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "acquisition/PtyPeer.h"
#include "app/AppSettings.h"
#include "platform/MemoryProfileStore.h"
#include "platform/MessageSink.h"
#include "sequence/SequenceFormat.h"
#include "support/TempDir.h"
#include "tools/ChildProcess.h"

namespace {

std::vector<uint8_t> imageOf(const std::vector<int32_t>& intervals, int32_t ratio = 16) {
    DotStore store;
    store.divisionRatio = ratio;
    store.count = static_cast<int32_t>(intervals.size()) + 1;
    int32_t t = 0;
    for (size_t i = 0; i < intervals.size(); ++i) store.times[i + 1] = t += intervals[i];
    return encodeSequenceImage(store, SequenceHeaderText{},
                               SequenceStartTime::fromJulian(JulianTime::fromDate(2011, 7, 1)),
                               PositionBlock{});
}

class ZelkoraDocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.GPath = dir.folder();
        previousHandler = platform::setMessageHandler(
            [this](const std::string& text, platform::MessageIcon) { messages.push_back(text); });
    }
    void TearDown() override { platform::setMessageHandler(previousHandler); }

    TempDir dir;
    AppSettings settings;
    platform::MemoryProfileStore store;
    ZelkoraDoc doc{settings, store};
    std::vector<std::string> messages;
    platform::MessageHandler previousHandler;
};

TEST_F(ZelkoraDocTest, LoadsAFileAndRemembersItsName) {
    dir.write("L7011845.14#", imageOf({100, 120, 60, 5000}));
    doc.setCurrentFileName("l7011845.14#");
    EXPECT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_FALSE(doc.fileBad());
    EXPECT_TRUE(doc.fileLoaded());
    EXPECT_EQ(doc.statusText(), "");
    EXPECT_EQ(doc.dots().count, 5);
    EXPECT_EQ(doc.dots().times[4], 5280);
    // 16 × 10^9 / (120 + 60) µs, rounded: the dot's frequency in millihertz.
    EXPECT_EQ(doc.dots().frequency[3], 88888889);
    EXPECT_EQ(settings.Name, "L7011845.14#");
    EXPECT_EQ(doc.loadedPath(), dir.folder() + "L7011845.14#");
    // The list was empty, so the load scanned the folder and found the file in it.
    EXPECT_EQ(doc.fileList().size(), 1);
    EXPECT_EQ(doc.currentIndex(), 0);
}

TEST_F(ZelkoraDocTest, CorruptFileLeavesNothingOfThePreviousFile) {
    dir.write("A0010000.00#", imageOf({100, 120, 60, 5000}));
    dir.write("A0010000.01#", std::vector<uint8_t>(199, 0));
    doc.setCurrentFileName("A0010000.00#");
    ASSERT_EQ(doc.LoadCurrentFile(), 0);
    ASSERT_EQ(doc.dots().count, 5);
    doc.setCurrentFileName("A0010000.01#");
    EXPECT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_TRUE(doc.fileBad());
    EXPECT_EQ(doc.statusText(), "File Corrupt ");
    EXPECT_LE(doc.dots().count, 1);
    for (int32_t t : doc.dots().times) ASSERT_EQ(t, 0);
    EXPECT_EQ(settings.Name, "A0010000.01#");  // the last file read, corrupt or not
}

TEST_F(ZelkoraDocTest, RejectedHeaderIsCorruptAndMissingFileCannotBeOpened) {
    auto bad = imageOf({100, 200});
    bad[286] = 65;  // division ratio out of range
    dir.write("B0010000.00#", bad);
    doc.setCurrentFileName("B0010000.00#");
    EXPECT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_EQ(doc.statusText(), "File Corrupt ");

    auto impossibleDate = imageOf({100, 200});
    impossibleDate[290] = 13;  // month 13: the window and the tools call it corrupt alike
    dir.write("B0010000.01#", impossibleDate);
    doc.setCurrentFileName("B0010000.01#");
    EXPECT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_EQ(doc.statusText(), "File Corrupt ");

    // A FIFO or a folder under a sequence file's name is refused, never waited on.
    ASSERT_EQ(::mkfifo(dir.file("B0010000.02#").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("B0010000.03#"));
    for (const char* name : {"GONE.00#", "B0010000.02#", "B0010000.03#"}) {
        doc.setCurrentFileName(name);
        EXPECT_EQ(doc.LoadCurrentFile(), -1) << name;
        EXPECT_TRUE(doc.fileBad());
        EXPECT_EQ(doc.statusText(), "Cannot open file ");
    }
}

TEST_F(ZelkoraDocTest, ReadsOnlyTheFirst32768Bytes) {
    std::vector<int32_t> intervals(16383, 100);
    auto image = imageOf(intervals);
    image.resize(40000, 0x05);  // trailing bytes past the limit would add more deltas
    dir.write("C0010000.00#", image);
    doc.setCurrentFileName("C0010000.00#");
    ASSERT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_FALSE(doc.fileBad());
    DotStore direct;
    std::vector<uint8_t> first(image.begin(), image.begin() + 32768);
    ASSERT_GT(decodeSequenceImage(first, direct), 0);
    EXPECT_EQ(doc.dots().count, direct.count);
}

TEST_F(ZelkoraDocTest, NothingLoadsWhileRecording) {
    dir.write("L7011845.14#", imageOf({100, 120}));
    doc.setCurrentFileName("L7011845.14#");
    doc.SetStatusText("before");
    doc.setRecording(true);
    EXPECT_EQ(doc.LoadCurrentFile(), -1);
    EXPECT_EQ(doc.dots().count, 0);
    EXPECT_EQ(settings.Name, "");
    doc.SetStatusText("anything");
    EXPECT_EQ(doc.statusText(), "Recording Now");
}

TEST_F(ZelkoraDocTest, BrowsingGoesNowhereInAnEmptyFolderAndStopsAtBothEnds) {
    settings.Name = "OLD.00#";
    int redraws = 0;
    doc.onFileChanged = [&] { ++redraws; };
    doc.Next();
    doc.First();
    EXPECT_EQ(redraws, 0);
    EXPECT_EQ(settings.Name, "");
    EXPECT_EQ(doc.currentFileName(), "");

    for (const char* n : {"L7011845.14#", "L7011845.02#", "K9301200.00#"})
        dir.write(n, imageOf({100}));
    doc.Last();  // the empty list is scanned again
    EXPECT_EQ(doc.currentFileName(), "L7011845.14#");
    doc.Next();
    EXPECT_EQ(doc.currentFileName(), "L7011845.14#");
    doc.Previous();
    EXPECT_EQ(doc.currentFileName(), "L7011845.02#");
    doc.First();
    EXPECT_EQ(doc.currentFileName(), "K9301200.00#");
    doc.Previous();
    EXPECT_EQ(doc.currentFileName(), "K9301200.00#");
    EXPECT_EQ(doc.currentIndex(), 0);
    EXPECT_EQ(redraws, 5);
    EXPECT_EQ(settings.Name, "K9301200.00#");
}

TEST_F(ZelkoraDocTest, ScanFindsTheRememberedFileAndSavedFilesJoinTheList) {
    for (const char* n : {"L7011845.14#", "K9301200.00#"}) dir.write(n, imageOf({100}));
    settings.Name = "l7011845.14#";
    EXPECT_EQ(doc.ScanFolder(), 2);
    EXPECT_EQ(doc.currentIndex(), 1);
    // A saved name is listed as it was written, in its place by start time.
    doc.NoteSavedFile("k9301200.05#");
    EXPECT_EQ(doc.lastSavedName(), "k9301200.05#");
    EXPECT_EQ(doc.fileList().names(),
              (std::vector<std::string>{"K9301200.00#", "k9301200.05#", "L7011845.14#"}));
    EXPECT_EQ(doc.currentIndex(), 2);  // still on L7011845.14#
}

TEST_F(ZelkoraDocTest, OpenOffersTheListAndLoadsTheChoice) {
    for (const char* n : {"L7011845.14#", "K9301200.00#"}) dir.write(n, imageOf({100, 300}));
    settings.Name = "K9301200.00#";
    ZelkoraDoc::OpenRequest request = doc.PrepareOpen();
    EXPECT_EQ(request.folder, dir.folder());
    EXPECT_EQ(request.countText, "Files: 2");
    EXPECT_EQ(request.preselected, 0);
    doc.OpenChosen("l7011845.14#");
    EXPECT_EQ(doc.currentIndex(), 1);
    EXPECT_EQ(doc.dots().count, 3);
    EXPECT_EQ(settings.Name, "L7011845.14#");
}

TEST_F(ZelkoraDocTest, LowerCaseFilesListLoadAndOpenByTheirOwnNames) {
    // A card written by another program holds lower-case names; every listed one must open.
    dir.write("l7011845.14#", imageOf({100, 120, 60}));
    dir.write("K9301200.00#", imageOf({100}));
    dir.write("m1010000.00#", imageOf({200, 200}));
    EXPECT_EQ(doc.ScanFolder(), 3);
    EXPECT_EQ(doc.fileList().names(),
              (std::vector<std::string>{"K9301200.00#", "l7011845.14#", "m1010000.00#"}));
    doc.First();
    doc.Next();
    EXPECT_EQ(doc.currentFileName(), "l7011845.14#");
    EXPECT_FALSE(doc.fileBad()) << doc.statusText();
    EXPECT_EQ(doc.dots().count, 4);
    EXPECT_EQ(doc.loadedName(), "l7011845.14#");
    EXPECT_EQ(settings.Name, "l7011845.14#");

    ZelkoraDoc::OpenRequest request = doc.PrepareOpen();
    EXPECT_EQ(request.names, doc.fileList().names());
    EXPECT_EQ(request.preselected, 1);
    doc.OpenChosen(request.names[2]);
    EXPECT_FALSE(doc.fileBad()) << doc.statusText();
    EXPECT_EQ(doc.dots().count, 3);

    // A name remembered in upper case (as earlier versions stored it) loads the same file.
    doc.setCurrentFileName("L7011845.14#");
    EXPECT_EQ(doc.LoadCurrentFile(), 0);
    EXPECT_FALSE(doc.fileBad()) << doc.statusText();
    EXPECT_EQ(doc.loadedPath(), dir.folder() + "l7011845.14#");

    ZelkoraDoc fresh(settings, store);
    EXPECT_EQ(fresh.OpenPath(dir.file("m1010000.00#")), 0);
    EXPECT_FALSE(fresh.fileBad()) << fresh.statusText();
    EXPECT_EQ(fresh.currentIndex(), 2);
}

TEST_F(ZelkoraDocTest, FolderCheckRecoversWhatASaveCutShortLeft) {
    // The recorder was killed after writing the image and before naming it.
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
    dir.write("L7011845.14#.tmpAbC123", imageOf({100, 120, 60}));
    std::filesystem::last_write_time(dir.file("L7011845.14#.tmpAbC123"), old);
    dir.write("K9301200.00#.tmpXyZ789", imageOf({100, 120, 60, 5000}));
    std::filesystem::resize_file(dir.file("K9301200.00#.tmpXyZ789"), 341);  // torn
    std::filesystem::last_write_time(dir.file("K9301200.00#.tmpXyZ789"), old);
    EXPECT_TRUE(doc.CheckFolder());
    EXPECT_TRUE(std::filesystem::exists(dir.file("L7011845.14#")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("L7011845.14#.tmpAbC123")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("K9301200.00#.tmpXyZ789")));
    EXPECT_EQ(doc.ScanFolder(), 1);
    doc.First();
    EXPECT_FALSE(doc.fileBad()) << doc.statusText();
    EXPECT_EQ(doc.dots().count, 4);

    // Another program's orphan in the folder being listed is recovered by the next scan.
    dir.write("M1010000.00#.tmp000000", imageOf({250}));
    std::filesystem::last_write_time(dir.file("M1010000.00#.tmp000000"), old);
    EXPECT_EQ(doc.ScanFolder(), 2);
    EXPECT_EQ(doc.fileList().names(), (std::vector<std::string>{"L7011845.14#", "M1010000.00#"}));
}

TEST_F(ZelkoraDocTest, StartOpensTheNewestFileAndSweepsOnceTheWindowShows) {
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
    dir.write("K9301200.00#", imageOf({100, 120}));
    dir.write("L7011845.14#", imageOf({100, 120, 60}));
    dir.write("M1010000.00#", {});  // the claim of a save that a power cut stopped
    dir.write("J1010000.00#.tmp000000", imageOf({250}));
    std::filesystem::last_write_time(dir.file("J1010000.00#.tmp000000"), old);
    settings.Name = "M1010000.00#";
    doc.OpenAtStart();
    // The newest file that holds something; the orphan waits for the window.
    EXPECT_EQ(doc.currentFileName(), "L7011845.14#");
    EXPECT_TRUE(doc.fileLoaded());
    EXPECT_FALSE(doc.fileBad());
    EXPECT_TRUE(std::filesystem::exists(dir.file("J1010000.00#.tmp000000")));
    EXPECT_EQ(doc.fileList().size(), 3);
    doc.FinishStartScan();
    EXPECT_FALSE(std::filesystem::exists(dir.file("J1010000.00#.tmp000000")));
    EXPECT_EQ(doc.fileList().names(),
              (std::vector<std::string>{"J1010000.00#", "K9301200.00#", "L7011845.14#"}));
    doc.Previous();  // from the shown file's place in the longer list
    EXPECT_EQ(doc.currentFileName(), "K9301200.00#");
}

TEST_F(ZelkoraDocTest, OpenPathBrowsesTheFilesFolderWithoutMovingTheSequenceFolder) {
    dir.write("A0010000.00#", imageOf({100}));
    TempDir other;
    other.write("M1010000.00#", imageOf({250, 250}));
    other.write("M1010000.05#", imageOf({250}));
    EXPECT_EQ(doc.OpenPath(other.file("M1010000.00#")), 0);
    EXPECT_EQ(settings.GPath, dir.folder());
    EXPECT_EQ(doc.folderPath(), other.folder());
    EXPECT_EQ(doc.currentFileName(), "M1010000.00#");
    EXPECT_EQ(doc.dots().count, 3);
    doc.Next();
    EXPECT_EQ(doc.currentFileName(), "M1010000.05#");

    doc.ReturnToSequenceFolder();
    doc.Last();
    EXPECT_EQ(doc.currentFileName(), "A0010000.00#");
    EXPECT_EQ(doc.loadedPath(), dir.folder() + "A0010000.00#");
}

// The default folder lives under the documents folder, which follows HOME in tests.
class ZelkoraDocFolderTest : public ZelkoraDocTest {
  protected:
    void SetUp() override {
        ZelkoraDocTest::SetUp();
        oldHome = getenv("HOME") ? getenv("HOME") : "";
        oldDocs = getenv("XDG_DOCUMENTS_DIR") ? getenv("XDG_DOCUMENTS_DIR") : "";
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() + "/config").c_str(), 1);
        unsetenv("XDG_DOCUMENTS_DIR");
    }
    void TearDown() override {
        setenv("HOME", oldHome.c_str(), 1);
        if (!oldDocs.empty()) setenv("XDG_DOCUMENTS_DIR", oldDocs.c_str(), 1);
        ZelkoraDocTest::TearDown();
    }
    TempDir home;
    std::string oldHome, oldDocs;
};

TEST_F(ZelkoraDocFolderTest, MissingFolderFallsBackToTheDefaultAndCreatesIt) {
    settings.GPath = "/media/removed-card/Batfiles/";
    const std::string fallback = AppSettings::defaultSequenceFolder();
    ASSERT_EQ(fallback.rfind(home.path(), 0), 0u) << fallback;
    EXPECT_TRUE(doc.CheckFolder());
    EXPECT_EQ(settings.GPath, fallback);
    EXPECT_TRUE(std::filesystem::is_directory(fallback));
    EXPECT_EQ(store.readString("GPath"), fallback);  // the settings were saved
    // The default folder itself gone: made again.
    std::filesystem::remove(fallback);
    EXPECT_TRUE(doc.CheckFolder());
    EXPECT_TRUE(std::filesystem::is_directory(fallback));
}

// The check a recording runs before every save, and what the user learns of a move.
TEST_F(ZelkoraDocFolderTest, VanishedRecordingFolderGivesWayToTheDefaultOnce) {
    TempDir card;
    const std::string folder = card.folder() + "Batfiles/";
    std::filesystem::create_directories(folder);
    settings.GPath = folder;
    doc.PrepareRecordingFolder();
    EXPECT_EQ(doc.CheckRecordingFolder(), folder);
    doc.DisplayTick({});
    EXPECT_TRUE(messages.empty());

    std::filesystem::remove_all(card.path());
    const std::string fallback = AppSettings::defaultSequenceFolder();
    EXPECT_EQ(doc.CheckRecordingFolder(), fallback);
    EXPECT_TRUE(std::filesystem::is_directory(fallback));
    EXPECT_EQ(doc.CheckRecordingFolder(), fallback);
    EXPECT_EQ(settings.GPath, folder);  // the worker's side never touches the settings
    doc.DisplayTick({});
    EXPECT_EQ(messages, std::vector<std::string>{"Sequence folder not found: " + folder +
                                                 "; files now go to " + fallback});
    EXPECT_EQ(settings.GPath, fallback);
    EXPECT_EQ(store.readString("GPath"), fallback);
    doc.DisplayTick({});
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ZelkoraDocFolderTest, NamedFolderIsMadeAgainWhileItsParentIsThere) {
    TempDir card;
    const std::string folder = card.folder() + "Batfiles/";
    std::filesystem::create_directories(folder);
    settings.GPath = folder;
    doc.setRemakeMissingFolder(true);
    doc.PrepareRecordingFolder();
    std::filesystem::remove_all(folder);
    EXPECT_EQ(doc.CheckRecordingFolder(), folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    doc.DisplayTick({});
    EXPECT_EQ(messages, std::vector<std::string>{"Sequence folder not found: " + folder +
                                                 "; files now go to " + folder});

    // The card itself went: nothing is made where it was mounted.
    std::filesystem::remove_all(card.path());
    EXPECT_EQ(doc.CheckRecordingFolder(), AppSettings::defaultSequenceFolder());
    EXPECT_FALSE(std::filesystem::exists(card.path()));
}

TEST_F(ZelkoraDocFolderTest, ChosenFolderThatCannotBeMadeFallsBackWithAMessage) {
    std::string blocker = home.file("card");
    home.write("card", {1});  // a plain file where the folder should go
    doc.ChooseFolder({"card", blocker});
    EXPECT_EQ(messages, (std::vector<std::string>{"Failed to create folder"}));
    EXPECT_EQ(settings.GPath, AppSettings::defaultSequenceFolder());
    EXPECT_EQ(store.readString("GPath"), settings.GPath);

    TempDir card;
    messages.clear();
    doc.ChooseFolder({"card", card.path()});
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(settings.GPath, card.folder() + "Batfiles/");
    EXPECT_TRUE(std::filesystem::is_directory(settings.GPath));
    // The choice in use is the card's; a folder none of them leads to is no choice.
    const std::vector<ZelkoraDoc::FolderChoice> choices = {{"My Documents", home.path()},
                                                           {"card", card.path()}};
    EXPECT_EQ(doc.CurrentFolderChoice(choices), std::optional<size_t>(1));
    settings.GPath = card.folder() + "Batfiles/other/";
    EXPECT_EQ(doc.CurrentFolderChoice(choices), std::nullopt);
}

}  // namespace

// Closing the program while a recording runs: the recording is stopped the normal way (the
// module is told to stop, the worker joined) and the settings reach the store.
TEST_F(ZelkoraDocTest, CloseStopsARunningRecordingAndSavesTheSettings) {
    testing_support::PrivateRuntimeDir runtime;
    testing_support::ChildProcess simulator(
        {std::string(ZELKORA_BINARY_DIR) + "/tools/zelkora-tool/zelkora-tool", "simulate-module",
         "--calls-per-second", "10"});
    std::string first;
    ASSERT_TRUE(simulator.readLine(first, 5000));
    ASSERT_EQ(first.rfind("COM", 0), 0u) << first;
    settings.SerialPort = std::atoi(first.c_str() + 3);
    ASSERT_EQ(doc.StartRecording(true), acquisition::RecordingControl::StartResult::Started);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(store.readInt("SerialPortLastSuccessful").has_value());

    doc.CloseDocument();
    EXPECT_FALSE(doc.recording());
    EXPECT_EQ(store.readInt("SerialPortLastSuccessful"), settings.SerialPort);
    EXPECT_EQ(store.readString("GPath"), settings.GPath);
    simulator.signal(SIGTERM);
    EXPECT_EQ(simulator.wait(5000), 0);
}
