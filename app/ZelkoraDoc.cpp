#include "app/ZelkoraDoc.h"

#include <cstdio>
#include <filesystem>

#include "app/AppSettings.h"
#include "platform/InputFile.h"
#include "platform/MessageSink.h"
#include "platform/ProfileStore.h"
#include "platform/UserFolders.h"
#include "sequence/SequenceFormat.h"

namespace fs = std::filesystem;

namespace {

bool folderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool makeFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return folderExists(path);
}

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// Makes `folder` again, but only inside a folder that is still there: a card that was pulled
// takes its mount point with it, and files must not go into an empty mount point on the
// system disk.
bool remakeFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const fs::path parent = fs::path(path).parent_path();
    if (parent.empty() || !folderExists(parent.string())) return false;
    std::error_code ec;
    fs::create_directory(path, ec);
    return folderExists(path);
}

}  // namespace

ZelkoraDoc::ZelkoraDoc(AppSettings& settings, platform::ProfileStore& store)
    : settings_(settings),
      store_(store),
      recorder_(settings),
      gps_([this](const PositionBlock& block) { recorder_.accumulator().setPosition(block); }) {
    recorder_.setFolderCheck([this] { return CheckRecordingFolder(); });
}

std::string ZelkoraDoc::folderPath() const {
    return viewFolder_.empty() ? withTrailingSlash(settings_.GPath) : viewFolder_;
}

void ZelkoraDoc::ReturnToSequenceFolder() {
    if (viewFolder_.empty()) return;
    viewFolder_.clear();
    files_.clear();
}

void ZelkoraDoc::saveSettings() {
    settings_.save(store_);
}

bool ZelkoraDoc::CheckFolder() {
    if (!makeFolderUsable()) return false;
    if (!sweepDeferred_) recovery_.onFolderCheck(folderPath());
    return true;
}

std::string ZelkoraDoc::DataFolder() {
    // A file being viewed from elsewhere satisfies CheckFolder; the data go to the sequence
    // folder all the same.
    if (!CheckFolder() || !folderExists(settings_.GPath)) return {};
    return withTrailingSlash(settings_.GPath);
}

bool ZelkoraDoc::makeFolderUsable() {
    if (!viewFolder_.empty()) {
        if (folderExists(viewFolder_)) return true;
        ReturnToSequenceFolder();
    }
    if (folderExists(settings_.GPath)) return true;
    const std::string fallback = AppSettings::defaultSequenceFolder();
    const bool changed = withTrailingSlash(settings_.GPath) != fallback;
    settings_.GPath = fallback;
    // The default folder is created too: a first start on a machine without it would
    // otherwise report success and then fail every save of the night.
    if (!makeFolder(fallback)) return false;
    if (changed) saveSettings();
    return true;
}

std::string ZelkoraDoc::CheckRecordingFolder() {
    std::string current;
    std::string fallback;
    {
        std::lock_guard lock(recordFolderMutex_);
        current = recordFolder_;
        fallback = defaultFolder_;
    }
    // The file system is asked outside the lock: a slow card must not stall the display
    // tick, which takes the lock too. Only this thread changes the folder while recording.
    if (folderExists(current)) return current;
    std::string folder;
    if (remakeMissingFolder_ && remakeFolder(current)) {
        folder = current;
    } else if (makeFolder(fallback)) {
        folder = fallback;
    } else {
        return {};
    }
    std::lock_guard lock(recordFolderMutex_);
    if (goneFolder_.empty()) goneFolder_ = current;
    recordFolder_ = folder;
    return folder;
}

void ZelkoraDoc::PrepareRecordingFolder() {
    std::lock_guard lock(recordFolderMutex_);
    recordFolder_ = withTrailingSlash(settings_.GPath);
    // Asked here, on the user-interface thread, for the worker's folder check to use.
    defaultFolder_ = AppSettings::defaultSequenceFolder();
    goneFolder_.clear();
}

void ZelkoraDoc::takeFolderMove() {
    std::string gone;
    std::string folder;
    {
        std::lock_guard lock(recordFolderMutex_);
        if (goneFolder_.empty()) return;
        gone.swap(goneFolder_);
        folder = recordFolder_;
    }
    if (withTrailingSlash(settings_.GPath) != folder) {
        settings_.GPath = folder;
        saveSettings();
    }
    // The list is of the folder the files go to now (a folder made again starts empty).
    ReturnToSequenceFolder();
    ScanFolder();
    platform::showMessage(kFolderGoneText + gone + kFilesNowGoText + folder,
                          platform::MessageIcon::Exclamation);
}

std::vector<ZelkoraDoc::FolderChoice> ZelkoraDoc::FolderChoices() const {
    std::vector<FolderChoice> choices;
    choices.push_back({"My Documents", platform::documentsFolder()});
    for (const platform::StorageVolume& v : platform::removableVolumes()) {
        if (folderExists(v.rootPath)) choices.push_back({v.displayName, v.rootPath});
    }
    return choices;
}

namespace {
std::string folderOfChoice(const ZelkoraDoc::FolderChoice& choice) {
    return withTrailingSlash(choice.root) + "Batfiles/";
}
}  // namespace

std::optional<size_t> ZelkoraDoc::CurrentFolderChoice(
    const std::vector<FolderChoice>& choices) const {
    const std::string current = withTrailingSlash(settings_.GPath);
    for (size_t i = 0; i < choices.size(); ++i) {
        if (folderOfChoice(choices[i]) == current) return i;
    }
    return std::nullopt;
}

void ZelkoraDoc::ChooseFolder(const FolderChoice& choice) {
    std::string folder = folderOfChoice(choice);
    if (!folderExists(folder) && !makeFolder(folder)) {
        folder = AppSettings::defaultSequenceFolder();
        makeFolder(folder);
        platform::showMessage(kFailedToCreateFolder, platform::MessageIcon::Exclamation);
    }
    settings_.GPath = folder;
    viewFolder_.clear();
    saveSettings();
    ScanFolder();
}

void ZelkoraDoc::setCurrentFileName(const std::string& name) {
    currentName_ = name;
}

int32_t ZelkoraDoc::ScanFolder() {
    currentName_ = settings_.Name;
    listedFolder_ = folderPath();
    // Files that a save cut short get their names first, so that the list shows them.
    OrphanRecovery::sweep(listedFolder_);
    return relist();
}

bool ZelkoraDoc::holdsData(const std::string& name) const {
    std::error_code ec;
    const auto size = fs::file_size(fs::path(listedFolder_) / name, ec);
    return !ec && size > 0;
}

void ZelkoraDoc::OpenAtStart() {
    if (!makeFolderUsable()) return;
    sweepDeferred_ = true;
    currentName_ = settings_.Name;
    listedFolder_ = folderPath();
    files_.clear();
    if (files_.scan(listedFolder_, SequenceFolder::Sizes::kLater) <= 0) {
        currentName_.clear();
        currentIndex_ = -1;
        return;
    }
    currentIndex_ = files_.find(currentName_);
    if (currentIndex_ < 0 || !holdsData(files_.names()[static_cast<size_t>(currentIndex_)])) {
        currentIndex_ = -1;
        for (int32_t i = files_.size() - 1; i >= 0 && currentIndex_ < 0; --i) {
            if (holdsData(files_.names()[static_cast<size_t>(i)])) currentIndex_ = i;
        }
    }
    if (currentIndex_ < 0) {
        currentName_.clear();
        return;
    }
    currentName_ = files_.names()[static_cast<size_t>(currentIndex_)];
    LoadCurrentFile();
}

void ZelkoraDoc::FinishStartScan() {
    if (!sweepDeferred_) return;
    sweepDeferred_ = false;
    if (!CheckFolder() || listedFolder_ != folderPath()) return;
    relist();
}

int32_t ZelkoraDoc::relist() {
    files_.clear();
    int32_t n = files_.scan(listedFolder_);
    if (n <= 0) {
        currentName_.clear();
        settings_.Name.clear();
        currentIndex_ = -1;
        return 0;
    }
    // A current file that is no longer there leaves no index pointing at another file.
    currentIndex_ = files_.find(currentName_);
    // A name remembered in another case opens by the spelling the folder holds.
    if (currentIndex_ >= 0) currentName_ = files_.names()[static_cast<size_t>(currentIndex_)];
    return n;
}

void ZelkoraDoc::AddName(const std::string& name) {
    files_.addName(name);
    // Insertion moves the entries after it; the index follows the current file.
    if (!currentName_.empty()) {
        int32_t at = files_.find(currentName_);
        if (at >= 0) currentIndex_ = at;
    }
}

void ZelkoraDoc::FindCurrent() {
    int32_t at = files_.find(currentName_);
    if (at < 0) {
        const std::string wanted = currentName_;
        ScanFolder();
        currentName_ = wanted;
        at = files_.find(currentName_);
    }
    if (at >= 0) {
        currentIndex_ = at;
        currentName_ = files_.names()[static_cast<size_t>(at)];
    }
}

void ZelkoraDoc::browseTo(int32_t index) {
    currentIndex_ = index;
    currentName_ = files_.names()[static_cast<size_t>(index)];
    LoadCurrentFile();
    if (onFileChanged) onFileChanged();
}

void ZelkoraDoc::First() {
    if (files_.empty()) ScanFolder();
    if (files_.empty()) return;
    browseTo(0);
}

void ZelkoraDoc::Last() {
    if (files_.empty()) ScanFolder();
    if (files_.empty()) return;
    browseTo(files_.size() - 1);
}

void ZelkoraDoc::Next() {
    if (files_.empty()) ScanFolder();
    if (files_.empty()) return;
    // A current file that is not in the list (deleted meanwhile) starts again at the first.
    int32_t i = currentIndex_;
    if (i < 0 || i >= files_.size()) {
        i = 0;
    } else if (i < files_.size() - 1) {
        ++i;
    }
    browseTo(i);
}

void ZelkoraDoc::Previous() {
    if (files_.empty()) ScanFolder();
    if (files_.empty()) return;
    int32_t i = currentIndex_;
    if (i < 0 || i >= files_.size()) {
        i = 0;
    } else if (i > 0) {
        --i;
    }
    browseTo(i);
}

ZelkoraDoc::OpenRequest ZelkoraDoc::PrepareOpen() {
    CheckFolder();
    if (listedFolder_ != folderPath()) files_.clear();
    if (files_.empty()) ScanFolder();
    OpenRequest request;
    request.folder = folderPath();
    request.names = files_.names();
    char count[32];
    std::snprintf(count, sizeof count, "Files: %d", files_.size());
    request.countText = count;
    request.preselected = files_.find(currentName_);
    return request;
}

void ZelkoraDoc::OpenChosen(const std::string& name) {
    setCurrentFileName(name);
    FindCurrent();
    LoadCurrentFile();
    if (onFileChanged) onFileChanged();
}

int32_t ZelkoraDoc::OpenPath(const std::string& path) {
    fs::path p(path);
    std::error_code ec;
    fs::path absolute = fs::absolute(p, ec);
    if (ec) absolute = p;
    std::string folder = withTrailingSlash(absolute.parent_path().string());
    if (folder != folderPath()) files_.clear();
    // A file opened from elsewhere is browsed among its neighbours, but recordings still go
    // to the sequence folder and the setting is left as the user chose it.
    viewFolder_ = folder == withTrailingSlash(settings_.GPath) ? std::string() : folder;
    setCurrentFileName(absolute.filename().string());
    ScanFolder();
    currentName_ = absolute.filename().string();
    FindCurrent();
    int32_t result = LoadCurrentFile();
    if (onFileChanged) onFileChanged();
    return result;
}

void ZelkoraDoc::SetStatusText(const std::string& text) {
    statusText_ = recording() ? std::string(kRecordingText) : text;
}

int32_t ZelkoraDoc::LoadCurrentFile() {
    if (recording()) return -1;
    if (!CheckFolder()) return -1;

    currentName_ = SequenceFolder::spellingOnDisk(folderPath(), currentName_);
    const std::string path = folderPath() + currentName_;
    // A FIFO or a device under a sequence file's name would hold the window for ever.
    std::vector<uint8_t> image;
    if (currentName_.empty() || !platform::readRegularFile(path, kReadLimit, image)) {
        fileBad_ = true;
        SetStatusText(kCannotOpenText);
        return -1;
    }
    const size_t bytesRead = image.size();

    loadedName_ = currentName_;
    loadedPath_ = path;
    dots_.times.fill(0);
    const int32_t decoded =
        bytesRead < seqformat::kMinFileSize ? 0 : decodeSequenceImage(image, dots_);
    if (decoded <= 0) {
        // Nothing of the previous file may stay drawable under the new file's name.
        dots_.count = 1;
        dots_.frequency.fill(0);
        dots_.status.fill(0);
        fileBad_ = true;
        SetStatusText(kCorruptText);
    } else {
        computeDotFrequencies(dots_);
        fileBad_ = false;
        SetStatusText("");
        fileLoaded_ = true;
    }
    settings_.Name = currentName_;
    if (files_.empty()) {
        const std::string keep = currentName_;
        ScanFolder();
        currentName_ = keep;
        FindCurrent();
    }
    return 0;
}

void ZelkoraDoc::NoteSavedFile(const std::string& name) {
    lastSavedName_ = name;
    // A scan made after the file was written lists it already; a name is never twice in a
    // folder. (A name that differs only in case is another file.)
    const int32_t at = files_.find(lastSavedName_);
    if (at < 0 || files_.names()[static_cast<size_t>(at)] != lastSavedName_) {
        AddName(lastSavedName_);
    }
}

acquisition::RecordingControl::StartResult ZelkoraDoc::StartRecording(bool monitor) {
    using Result = acquisition::RecordingControl::StartResult;
    if (recorder_.recording()) return Result::AlreadyRecording;
    shownFolder_ = viewFolder_;
    shownName_ = currentName_;
    ReturnToSequenceFolder();
    // The files written join the list in order, so it must hold the folder's files first.
    if (files_.empty()) ScanFolder();
    // A missing folder is made now rather than at the first save of the night.
    CheckFolder();
    PrepareRecordingFolder();
    currentName_.clear();
    recorder_.setMonitorMode(monitor);
    const Result result = recorder_.StartRecording();
    if (result != Result::Started && !recorder_.recording()) {
        // Nothing was recorded (no module, the search cancelled): the user goes on with the
        // file they were looking at, not the newest of the folder.
        returnToShown();
    }
    return result;
}

void ZelkoraDoc::returnToShown() {
    if (viewFolder_ != shownFolder_) {
        viewFolder_ = shownFolder_;
        files_.clear();
        ScanFolder();
    }
    currentName_ = shownName_;
    FindCurrent();
    if (!currentName_.empty()) LoadCurrentFile();
}

void ZelkoraDoc::ShowAfterRecording() {
    if (files_.empty()) ScanFolder();
    if (!files_.empty() || shownName_.empty()) {
        Last();
        return;
    }
    // The dots on the screen are still those of the file shown before; without this they
    // would stay there under no name, and the browsing keys would find nothing.
    returnToShown();
    if (onFileChanged) onFileChanged();
}

void ZelkoraDoc::StopRecording() {
    recorder_.StopRecording();
    collectSavedNames();
    takeFolderMove();
}

void ZelkoraDoc::CloseDocument() {
    if (recorder_.recording()) StopRecording();
    saveSettings();
}

void ZelkoraDoc::collectSavedNames() {
    // The recorder's list hands every name out exactly once, whatever the saved flags said.
    for (const std::string& name : recorder_.takeSavedNames()) {
        NoteSavedFile(name);
        newlySaved_.push_back(lastSavedName_);
    }
}

void ZelkoraDoc::SaveRecording() {
    recorder_.SaveRecording();
}

acquisition::DotQueue::TickState ZelkoraDoc::DisplayTick(
    const std::function<void(const acquisition::DotPoint&)>& plot) {
    acquisition::DotQueue::TickState state = recorder_.drainDisplay(plot);
    recorder_.sequenceSaved().store(0);
    recorder_.idleSaved().store(0);
    collectSavedNames();
    takeFolderMove();
    return state;
}

std::vector<std::string> ZelkoraDoc::TakeSavedNames() {
    collectSavedNames();
    std::vector<std::string> names;
    names.swap(newlySaved_);
    return names;
}

int32_t ZelkoraDoc::SecondTick() {
    if (recorder_.recording()) recorder_.secondTick();
    return gps_.SecondTick();
}
