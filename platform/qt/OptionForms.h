#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ZelkoraDoc.h"

struct AppSettings;
class QWidget;

// The option dialogs' windows: each binds its widgets to the plain dialog of the same name
// and runs modally over `parent`.
namespace OptionForms {

// Whole kilohertz in and out; true on OK.
bool EditFrequencyRange(QWidget* parent, int32_t& lowKHz, int32_t& highKHz);
void EditRecordingOptions(QWidget* parent, AppSettings& settings);
// The change mask of the colours. They are taken at once, and put back on Cancel; the mask
// stays, so the view rebuilds its colours from what the settings hold either way.
uint32_t EditDisplayOptions(QWidget* parent, AppSettings& settings);
// The chosen file name, or nothing when cancelled.
std::optional<std::string> ChooseFile(QWidget* parent, const ZelkoraDoc::OpenRequest& request);
// File > Open: the path of a file picked anywhere, starting in `folder`; nothing when
// cancelled.
std::optional<std::string> ChooseAnyFile(QWidget* parent, const std::string& folder);
// The index of the chosen storage location, or nothing when cancelled. The list starts on
// `current` (the one in use) and says which folder is in use now.
std::optional<size_t> ChooseFolder(QWidget* parent,
                                   const std::vector<ZelkoraDoc::FolderChoice>& choices,
                                   std::optional<size_t> current, const std::string& inUse);
// The colour chooser with the sixteen custom colours (0x00BBGGRR each).
std::optional<uint32_t> ChooseColour(QWidget* parent, uint32_t initial,
                                     std::array<uint32_t, 16>& custom);

}  // namespace OptionForms
