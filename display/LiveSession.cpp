#include "display/LiveSession.h"

#include <chrono>

#include "app/AppSettings.h"
#include "app/ZelkoraDoc.h"
#include "display/FullScreenControl.h"
#include "display/LiveRingReader.h"
#include "display/PlotView.h"
#include "platform/MessageSink.h"

LiveSession::LiveSession(AppSettings& settings, ZelkoraDoc& doc, PlotView& view,
                         FullScreenControl& fullScreen, LiveHost& host)
    : s_(settings), doc_(doc), view_(view), fullScreen_(fullScreen), host_(host) {
    // At full line rate a tick takes about 125 dots; room for a trimmed queue and more.
    tickDots_.reserve(acquisition::DotQueue::kTrimAbove);
    acquisition::RecordingControl::Hooks hooks;
    hooks.searchPorts = [this](acquisition::CommFile& port) { return host_.SearchPorts(port); };
    hooks.prepareLiveDisplay = [this] { return PrepareLive(); };
    hooks.startDisplayTimer = [this] {
        live_ = true;
        host_.StartDisplayTimer();
    };
    // A start that found no module leaves the file shown as it was (the document sees to
    // that), so the newest file is not shown then.
    doc_.recorder().setHooks(std::move(hooks));
}

LiveSession::~LiveSession() {
    // The document outlives the window: nothing of the window may be called from it later.
    doc_.recorder().setHooks({});
    view_.liveReader = nullptr;
}

void LiveSession::RecordCommand(int32_t code) {
    switch (code) {
        case kRecord:
            Start(false);
            break;
        case kMonitor:
            Start(true);
            break;
        case kSave:
            SaveRecording();
            break;
        case kStop:
            StopRecording();
            break;
        case kChoosePort:
            ChoosePort();
            break;
        default:
            break;
    }
}

void LiveSession::Start(bool monitor) {
    acquisition::RecordingControl& recorder = doc_.recorder();
    if (recorder.recording()) {
        if (recorder.monitorMode() == monitor) return;
        StopRecording();
    }
    doc_.StartRecording(monitor);
}

void LiveSession::StartRecording() {
    Start(doc_.recorder().monitorMode());
}

void LiveSession::ChoosePort() {
    s_.SerialPort = 0;
    // A running recording goes on; the search comes with the next start.
    if (!doc_.recorder().recording()) StartRecording();
}

void LiveSession::StopRecording() {
    if (!doc_.recorder().recording()) return;
    doc_.StopRecording();
    // The view returns to the files at once rather than at the next tick.
    EndLive();
}

void LiveSession::SaveRecording() {
    // The worker writes the file between two reads; the next tick shows its name.
    doc_.SaveRecording();
}

int32_t LiveSession::PrepareLive() {
    view_.liveReader = [this](std::span<int32_t> out) {
        return LiveRingReader::ReadNewestFirst(doc_.recorder().accumulator(), out);
    };
    if (view_.PrepareLive(doc_.recorder().monitorMode() ? 1 : 0) < 0) return -1;
    // The live status line names only files this recording writes; the file that was shown
    // goes from it at once, not at the first save.
    view_.SetNameText("");
    view_.RefreshStatus();
    host_.ShowLiveMenuBar(true);
    if (s_.FullScreen != 0) fullScreen_.RestoreAfterDialog();
    return 0;
}

void LiveSession::DisplayTick() {
    if (!live_) return;
    acquisition::RecordingControl& recorder = doc_.recorder();
    if (recorder.liveDisplay().load() == 0) {
        EndLive();
        return;
    }
    const auto began = std::chrono::steady_clock::now();
    tickDots_.clear();
    const acquisition::DotQueue::TickState state = doc_.DisplayTick(
        [this](const acquisition::DotPoint& p) { tickDots_.push_back(p.frequency); });
    if (state.overflowSeen) {
        view_.NoteOverflow();
        ++stats_.overflowNotices;
    }
    if (state.dotsWasted) {
        view_.NoteWaste();
        ++stats_.wasteNotices;
    }
    view_.LiveTick(tickDots_);
    ++stats_.ticks;
    stats_.dots += static_cast<int64_t>(tickDots_.size());
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - began);
    if (took.count() > stats_.slowestTickMicros) stats_.slowestTickMicros = took.count();
    if (!doc_.TakeSavedNames().empty()) {
        view_.SetNameText(doc_.lastSavedName());
        view_.RefreshStatus();
    }
}

int32_t LiveSession::SecondTick() {
    return doc_.SecondTick();
}

void LiveSession::EndLive() {
    if (!live_) return;
    live_ = false;
    host_.StopDisplayTimer();
    // A worker that ended by its failure exit is joined here; the names it wrote are taken.
    doc_.StopRecording();
    doc_.recorder().dotQueue().clear();
    doc_.TakeSavedNames();
    view_.EndLive();
    host_.ShowLiveMenuBar(false);
    fullScreen_.LeaveFullScreenForDialog();
    fullScreen_.RestoreAfterDialog();
    doc_.ShowAfterRecording();
    std::atomic<int32_t>& moduleError = doc_.recorder().moduleError();
    if (moduleError.load() != 0) {
        moduleError.store(0);
        platform::showMessage(acquisition::RecordingControl::kModuleErrorText,
                              platform::MessageIcon::Exclamation);
    }
}

LiveSession::ItemState LiveSession::MenuItem(int32_t code) const {
    const acquisition::RecordingControl& recorder = doc_.recorder();
    const bool recording = recorder.recording();
    switch (code) {
        case kRecord:
        case kMonitor: {
            const bool running = recording && recorder.monitorMode() == (code == kMonitor);
            return {!running, running};
        }
        case kSave:
        case kStop:
            return {recording, false};
        default:
            return {true, false};
    }
}
