#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/RecordingControl.h"
#include "gps/GpsPositionFeed.h"
#include "sequence/DotStore.h"
#include "sequence/OrphanRecovery.h"
#include "sequence/SequenceFolder.h"

struct AppSettings;
namespace platform {
class ProfileStore;
}

// The one document: the sequence folder and its sorted file list, the current file and its
// decoded dots, and the status text the view shows. It never loads while a recording runs.
class ZelkoraDoc {
  public:
    // Status texts of a failed load (the trailing spaces are part of them).
    static constexpr const char* kCannotOpenText = "Cannot open file ";
    static constexpr const char* kCorruptText = "File Corrupt ";
    static constexpr const char* kRecordingText = "Recording Now";
    static constexpr const char* kFailedToCreateFolder = "Failed to create folder";
    // Said when the sequence folder vanished during a recording: the missing folder and
    // where files go now follow.
    static constexpr const char* kFolderGoneText = "Sequence folder not found: ";
    static constexpr const char* kFilesNowGoText = "; files now go to ";
    static constexpr int32_t kReadLimit = 32768;

    ZelkoraDoc(AppSettings& settings, platform::ProfileStore& store);

    // --- the sequence folder ---
    // Makes sure the sequence folder exists: a missing folder falls back to the default
    // one, which is created when needed; the settings are saved when the folder changed.
    // Temporary files that a save cut short are recovered (see OrphanRecovery for when).
    bool CheckFolder();
    // The folder data files such as the serial test's capture go into: the sequence folder,
    // made sure of as CheckFolder does, ending in '/'; "" when there is none.
    std::string DataFolder();
    // The folder being browsed: the sequence folder, or the folder of a file opened from
    // elsewhere (which never becomes the sequence folder).
    std::string folderPath() const;
    // Leaves a folder opened from elsewhere and browses the sequence folder again (a
    // recording's files go there).
    void ReturnToSequenceFolder();
    // The folder check a recording runs before every save, on its worker thread: the folder
    // the recording writes into, or where it moves when that folder has gone (see
    // setRemakeMissingFolder); "" when there is none. The user-interface thread learns of a
    // move at its next display tick, which stores the folder and tells the user.
    std::string CheckRecordingFolder();
    // Takes the sequence folder as the recording's folder (StartRecording does this).
    void PrepareRecordingFolder();
    // A folder the user named for this run (the headless recorder's --dir) is made again when
    // it vanished, as long as the folder it lived in is still there; otherwise, and always
    // in the window, a vanished folder gives way to the default folder.
    void setRemakeMissingFolder(bool on) { remakeMissingFolder_ = on; }

    // One place the sequence folder can move to: "My Documents", then each removable volume.
    struct FolderChoice {
        std::string displayName;
        std::string root;  // the folder becomes root + "/Batfiles/"
    };
    std::vector<FolderChoice> FolderChoices() const;
    // The choice the sequence folder is now, so that confirming the choice moves nothing;
    // nothing when the folder is somewhere none of them leads.
    std::optional<size_t> CurrentFolderChoice(const std::vector<FolderChoice>& choices) const;
    // Moves the sequence folder to the chosen place ("Failed to create folder" and the
    // default when it cannot be made), saves the settings and rescans.
    void ChooseFolder(const FolderChoice& choice);

    // --- the file list and browsing ---
    int32_t ScanFolder();
    // The window's start, at the cost of one read of the folder's names: the folder is
    // listed without the sizes of its files, and the remembered file, else the newest, is
    // loaded; an empty file (a save's claim) is passed over by its size alone. The orphan
    // sweep and the sizes of the rest wait for FinishStartScan, once the window shows.
    void OpenAtStart();
    void FinishStartScan();
    void AddName(const std::string& name);
    void FindCurrent();
    void First();
    void Previous();
    void Next();
    void Last();
    // After a recording: the newest file of the sequence folder, or, when the folder holds
    // none (a Record-mode run stopped without a save), the file shown before it began.
    void ShowAfterRecording();

    // What the file chooser shows.
    struct OpenRequest {
        std::string folder;
        std::vector<std::string> names;
        std::string countText;  // "Files: %d"
        int32_t preselected = -1;
    };
    OpenRequest PrepareOpen();
    // The user picked `name` in the chooser: it becomes current and is loaded.
    void OpenChosen(const std::string& name);
    // Opens a file by its path (the command line, the framework's file dialog): the file's
    // folder is browsed from then on. Returns the load result.
    int32_t OpenPath(const std::string& path);

    // Loads the current file into the dot store: 0 when the file was read (also when it
    // proved corrupt), -1 otherwise.
    int32_t LoadCurrentFile();
    void SetStatusText(const std::string& text);

    // A file the recorder has just written joins the list.
    void NoteSavedFile(const std::string& name);

    // --- state the view reads ---
    const std::string& currentFileName() const { return currentName_; }
    void setCurrentFileName(const std::string& name);
    int32_t currentIndex() const { return currentIndex_; }
    const SequenceFolder& fileList() const { return files_; }
    const std::string& statusText() const { return statusText_; }
    const std::string& lastSavedName() const { return lastSavedName_; }
    bool fileBad() const { return fileBad_; }
    bool fileLoaded() const { return fileLoaded_; }
    const DotStore& dots() const { return dots_; }
    const std::string& loadedName() const { return loadedName_; }
    const std::string& loadedPath() const { return loadedPath_; }

    // --- recording: the document owns the module's link and the GPS poll ---
    // Starts a recording in Monitor or Record mode. Recordings always go to the sequence
    // folder, whatever folder was being browsed.
    acquisition::RecordingControl::StartResult StartRecording(bool monitor);
    void StopRecording();
    void SaveRecording();
    // The program is ending: a running recording is stopped (its worker finishes the save
    // under way), then the settings are saved as a whole.
    void CloseDocument();
    // The view's 25 ms display tick: hands the queued display points to `plot` and moves the
    // names of files written since the last tick into the file list. Returns the tick's
    // notices (overflow, waste).
    acquisition::DotQueue::TickState DisplayTick(
        const std::function<void(const acquisition::DotPoint&)>& plot);
    // Names written since the last call (each once), after they joined the file list.
    std::vector<std::string> TakeSavedNames();
    // The view's one-second tick: idle seconds while recording, then the GPS poll. Returns
    // the GPS fix class for the status line (-1 when no GPS is connected).
    int32_t SecondTick();

    acquisition::RecordingControl& recorder() { return recorder_; }
    const acquisition::RecordingControl& recorder() const { return recorder_; }
    GpsPositionFeed& gps() { return gps_; }

    bool recording() const { return recording_ || recorder_.recording(); }
    // Marks the document as busy recording without a module (tests, replays).
    void setRecording(bool on) { recording_ = on; }

    // Writes every setting to the profile store (the main window closing).
    void SaveSettings() { saveSettings(); }

    // Called after every load that the browsing commands make, so the view clears and
    // redraws.
    std::function<void()> onFileChanged;

  private:
    // Lists the folder again (sizes included), the current file kept by its name.
    int32_t relist();
    bool holdsData(const std::string& name) const;
    bool makeFolderUsable();
    void browseTo(int32_t index);
    void collectSavedNames();
    void saveSettings();
    // The user-interface side of a folder move made by CheckRecordingFolder.
    void takeFolderMove();
    // Shows again the file (and folder) the user looked at before a recording.
    void returnToShown();

    AppSettings& settings_;
    platform::ProfileStore& store_;
    SequenceFolder files_;
    OrphanRecovery recovery_;
    bool sweepDeferred_ = false;  // from OpenAtStart until FinishStartScan
    std::string listedFolder_;    // the folder the list was made from
    std::string viewFolder_;      // a folder opened from elsewhere, or empty
    int32_t currentIndex_ = -1;
    std::string currentName_;
    // What was shown when the last recording began, to go back to when it leaves nothing.
    std::string shownFolder_;
    std::string shownName_;
    std::string statusText_;
    std::string lastSavedName_;
    bool fileBad_ = false;
    bool fileLoaded_ = false;
    bool recording_ = false;
    DotStore dots_;
    std::string loadedName_;
    std::string loadedPath_;
    std::vector<std::string> newlySaved_;

    // The recording's folder, shared with its worker.
    std::mutex recordFolderMutex_;
    std::string recordFolder_;
    std::string defaultFolder_;
    std::string goneFolder_;  // set by a move the user-interface thread has not yet taken
    bool remakeMissingFolder_ = false;

    acquisition::RecordingControl recorder_;
    GpsPositionFeed gps_;
};
