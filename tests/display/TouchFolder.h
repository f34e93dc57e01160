#pragma once
#include <string>
#include <vector>

#include "sequence/JulianTime.h"
#include "sequence/PositionBlock.h"
#include "sequence/SequenceFormat.h"
#include "sequence/SequenceSaver.h"
#include "tests/display/SyntheticSequence.h"

// A sequence folder of `files` recordings a minute apart, written as the recorder writes
// them; each has a different number of calls so the files tell themselves apart. Returns
// the names in the order they were written (which is also the browsing order).
inline std::vector<std::string> writeSequenceFolder(const std::string& folder, int files = 3) {
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        synthetic::CallPlan plan;
        plan.calls = 20 + 5 * i;
        plan.seed = static_cast<uint32_t>(11 + i);
        const auto dots = synthetic::makeCalls(plan);
        std::string name;
        const JulianTime start = JulianTime::fromDateTime(2025, 6, 12, 22, 15 + i, 3, 0);
        if (SequenceSaver::save(folder, *dots, SequenceHeaderText{}, start, PositionBlock{},
                                &name) == SequenceSaver::kOk) {
            names.push_back(name);
        }
    }
    return names;
}
