#include "app/SerialTestDialogState.h"

void SerialTestDialogState::Open() {
    *this = SerialTestDialogState();
}

SerialTestDialogState::RunAction SerialTestDialogState::RunPressed() {
    if (!running_) {
        stats_ = acquisition::SerialTestStats().texts();
        return RunAction::Start;
    }
    if (stopping_) return RunAction::None;
    stopping_ = true;
    return RunAction::Stop;
}

void SerialTestDialogState::Started(int32_t port) {
    port_ = port;
    running_ = true;
    stopping_ = false;
}

void SerialTestDialogState::Idle() {
    running_ = false;
    stopping_ = false;
}
