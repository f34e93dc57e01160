#include "app/FrequencyRangeDialog.h"

#include "app/DialogFields.h"

std::optional<FrequencyRangeDialog::Refusal> FrequencyRangeDialog::Ok(const std::string& lowText,
                                                                      const std::string& highText) {
    int32_t l = low, h = high;
    if (auto m = DialogFields::ReadInteger(lowText, kLowMin, kLowMax, l)) {
        return Refusal{Field::Low, *m};
    }
    if (auto m = DialogFields::ReadInteger(highText, kHighMin, kHighMax, h)) {
        return Refusal{Field::High, *m};
    }
    // An upside-down range would leave the plot empty.
    if (h <= l) return Refusal{Field::High, kOrderMessage};
    low = l;
    high = h;
    return std::nullopt;
}
