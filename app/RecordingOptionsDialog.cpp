#include "app/RecordingOptionsDialog.h"

#include <algorithm>
#include <limits>

#include "app/AppSettings.h"
#include "app/DialogFields.h"
#include "sequence/SequenceFormat.h"

RecordingOptionsDialog::RecordingOptionsDialog(const AppSettings& s)
    : resolutionIndex(std::clamp(s.HScaleRecord - 1, 0, 3)),
      divRatio(s.RecordDivrat),
      saveOnCal(s.RecordUseCalTone != 0),
      lineLength(s.autoLineLength),
      maxTbcSeconds(s.autoMaxTBC / 1000000),
      slack(s.autoSlack) {}

std::optional<RecordingOptionsDialog::Refusal> RecordingOptionsDialog::ReadFields(const Texts& t) {
    using DialogFields::ReadInteger;
    constexpr int32_t kAny = std::numeric_limits<int32_t>::max();
    // A ratio the sequence files cannot hold would be written as a different one.
    if (auto m = ReadInteger(t.divRatio, 1, seqformat::kMaxRatio, divRatio)) {
        return Refusal{Field::DivRatio, *m};
    }
    if (auto m = ReadInteger(t.lineLength, kLineLengthMin, kLineLengthMax, lineLength)) {
        return Refusal{Field::LineLength, *m};
    }
    if (auto m = ReadInteger(t.maxTbc, kMaxTbcMin, kMaxTbcMax, maxTbcSeconds)) {
        return Refusal{Field::MaxTbc, *m};
    }
    if (auto m = ReadInteger(t.slack, 0, kAny, slack)) return Refusal{Field::Slack, *m};
    return std::nullopt;
}

RecordingOptionsDialog::Texts RecordingOptionsDialog::Show() const {
    return {std::to_string(divRatio), std::to_string(lineLength), std::to_string(maxTbcSeconds),
            std::to_string(slack)};
}

std::optional<RecordingOptionsDialog::Refusal> RecordingOptionsDialog::PickDivRatio(
    int32_t ratio, const Texts& texts) {
    auto refusal = ReadFields(texts);
    if (!refusal) divRatio = ratio;
    return refusal;
}

std::optional<RecordingOptionsDialog::Refusal> RecordingOptionsDialog::Ok(const Texts& texts,
                                                                          AppSettings& s) {
    if (auto refusal = ReadFields(texts)) return refusal;
    s.HScaleRecord = resolutionIndex + 1;
    s.RecordDivrat = divRatio;
    s.autoSlack = slack;
    s.autoLineLength = lineLength;
    s.autoMaxTBC = maxTbcSeconds * 1000000;
    s.RecordUseCalTone = saveOnCal ? 1 : 0;
    return std::nullopt;
}
