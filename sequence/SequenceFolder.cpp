#include "sequence/SequenceFolder.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/FolderNames.h"

bool SequenceFolder::isSequenceFileName(std::string_view name) {
    // "*.??#": anything, a '.', any two characters and a '#' at the end.
    const size_t n = name.size();
    return n >= 4 && name[n - 4] == '.' && name[n - 1] == '#';
}

namespace {

unsigned char folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

int compareCodeUnits(const std::string& a, const std::string& b, bool fold) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = fold ? folded(a[i]) : static_cast<unsigned char>(a[i]);
        const unsigned char cb = fold ? folded(b[i]) : static_cast<unsigned char>(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int SequenceFolder::compareNames(const std::string& a, const std::string& b) {
    const int byFolded = compareCodeUnits(a, b, true);
    return byFolded != 0 ? byFolded : compareCodeUnits(a, b, false);
}

int32_t SequenceFolder::scan(const std::string& folderPath, Sizes sizes) {
    names_.clear();
    // An empty file is no sequence: it is the claim that a save on a card holds while it
    // runs, or that a save cut short by a crash or a power cut left behind until the orphan
    // recovery replaces it. Plain files only: folders and devices that happen to match are
    // not sequences.
    auto found = platform::plainFileNames(
        folderPath, [](std::string_view name) { return isSequenceFileName(name); },
        sizes == Sizes::kChecked);
    if (!found) return -1;
    // Sorted as compareNames orders them (the folded name, then the name itself), but on
    // keys made once: the first 16 folded characters of each name packed into two numbers
    // that compare as the characters do, so that a card of a million names sorts in a
    // fraction of a second. Sequence names have 12 characters; longer ones that share
    // their first 16 are told apart by the full comparison. Names in one folder differ, so
    // no two entries tie and the order is the one that inserting one name at a time gives.
    struct Key {
        uint64_t high = 0, low = 0;
        uint32_t index = 0;
    };
    std::vector<Key> keys(found->size());
    for (size_t i = 0; i < found->size(); ++i) {
        const std::string& name = (*found)[i];
        Key& k = keys[i];
        k.index = static_cast<uint32_t>(i);
        for (size_t c = 0; c < 16; ++c) {
            const uint64_t code = c < name.size() ? folded(name[c]) : 0;
            (c < 8 ? k.high : k.low) |= code << (8 * (7 - c % 8));
        }
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        return compareNames((*found)[a.index], (*found)[b.index]) < 0;
    });
    names_.reserve(keys.size());
    for (const Key& k : keys) names_.push_back(std::move((*found)[k.index]));
    return size();
}

void SequenceFolder::addName(const std::string& name) {
    if (names_.empty()) {
        names_.push_back(name);
        return;
    }
    if (compareNames(name, names_.back()) >= 0) {
        names_.push_back(name);
        return;
    }
    if (compareNames(name, names_.front()) <= 0) {
        names_.insert(names_.begin(), name);
        return;
    }
    size_t lo = 0, hi = names_.size();
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (compareNames(name, names_[mid]) >= 0) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    names_.insert(names_.begin() + static_cast<long>(hi), name);
}

int32_t SequenceFolder::find(const std::string& name) const {
    int32_t sameButCase = -1;
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) return static_cast<int32_t>(i);
        if (sameButCase < 0 && compareCodeUnits(names_[i], name, true) == 0) {
            sameButCase = static_cast<int32_t>(i);
        }
    }
    return sameButCase;
}

std::string SequenceFolder::spellingOnDisk(const std::string& folderPath, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (name.empty() || fs::exists(fs::path(folderPath) / name, ec)) return name;
    fs::directory_iterator it(folderPath, ec);
    if (ec) return name;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string found = it->path().filename().string();
        std::error_code typeError;
        if (compareCodeUnits(found, name, true) == 0 && it->is_regular_file(typeError)) {
            return found;
        }
    }
    return name;
}
