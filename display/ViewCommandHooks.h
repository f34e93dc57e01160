#pragma once
#include <cstdint>

// The commands of the view's menus, taps and keys that belong to the recorder, the GPS and
// the tools. Each does nothing until the part that owns it overrides it.
class ViewCommandHooks {
  public:
    virtual ~ViewCommandHooks() = default;

    // The Record menu's codes 65..71 (Record, Monitor, Save, Stop, Choose Port).
    virtual void RecordCommand(int32_t /*code*/) {}
    // The GPS menu's codes 97..103 (Connect, Set Clock, Settings, New File, Map).
    virtual void GpsCommand(int32_t /*code*/) {}
    // The Tools menu's code 113 (Serial Test).
    virtual void ToolsCommand(int32_t /*code*/) {}
    // A tap on the plot.
    virtual void OpenGpsMap() {}
    // The recorder's taps and keys.
    virtual void StartRecording() {}
    virtual void StopRecording() {}
    virtual void SaveRecording() {}
};
