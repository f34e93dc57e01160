#pragma once
#include <string>

#include "tools/zelkora-tool/SurveyMap.h"

namespace tool {

// Draws the track and waypoints of a survey on a plain background (no map tiles: the
// field has no network) with a scale bar, as a PNG of width x height pixels. Needs a
// running QGuiApplication. False (with a message) when the file cannot be written.
bool drawSurveyMap(const SurveyMap& map, const std::string& title, int width, int height,
                   const std::string& out);

}  // namespace tool
